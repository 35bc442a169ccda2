#pragma once

#include <string>
#include <vector>

// The largest number of configurations that analyze accepts.
constexpr long long MaxAnalysisConfigurations = 16384;

// analyze accepts horizons from 1 to this.
constexpr int MaxAnalysisHorizon = 32;

// The exact decimal product of the factors, however large.
std::string decimalProduct(const std::vector<int>& factors);
