#pragma once

#include <string>

// Doubles as data files write them: 17 significant digits in the shortest
// form printf's %.17g gives, which reads back as the same double.
void appendNumber(std::string& text, double value);
std::string numberText(double value);
