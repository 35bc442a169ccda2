#include "cli/number_text.h"

#include <charconv>

void appendNumber(std::string& text, double value) {
    char digits[32];
    const auto written = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 17);
    text.append(digits, written.ptr);
}

std::string numberText(double value) {
    std::string text;
    appendNumber(text, value);
    return text;
}
