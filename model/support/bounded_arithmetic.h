#pragma once

#include <cmath>
#include <cstddef>
#include <limits>

// Bounds that hold whatever the rounding of round-to-nearest doubles.
//
// up(x) and down(x): x is the rounded result of one operation whose exact
// value z lies within half a unit in the last place of x, so the next double
// above x is at least z and the next below at most z. Applied after every
// operation of an expression they give an upper or a lower bound of its
// exact value.
//
// A sum of k products of non-negative doubles, added in any order, is within
// dotProductSlack(k) times its computed value, plus UnderflowSlack, of its
// exact value: Higham's gamma_k = k u / (1 - k u) with u = 2^-53, divided by
// 1 - gamma_k to be taken relative to the computed sum, and each product off
// by at most 2^-1075 where it falls below the normal range.
//
// The absolute terms are normal numbers far above what they cover, large
// enough that their products with the slacks stay normal too: arithmetic on
// subnormal operands or results takes a slow path in the processor,
// hundreds of cycles an operation.

constexpr double UnitRoundoff = 0x1p-53;
// Covers the underflow of a sum of fewer than 2^170 products.
constexpr double UnderflowSlack = 0x1p-900;

inline double up(double x) { return std::nextafter(x, std::numeric_limits<double>::infinity()); }
inline double down(double x) { return std::nextafter(x, -std::numeric_limits<double>::infinity()); }

// A lower bound of the exact value of one rounded operation with a positive
// result x, cheaper than down(): x (1 - 2^-50), rounded, stays below
// x (1 - u) for normal x, and the last term covers the rest. Results that
// are not positive come back as they are, and prove nothing.
inline double belowWherePositive(double x) { return x > 0.0 ? x * (1 - 0x1p-50) - UnderflowSlack : x; }

// The larger or smaller of two bounds, NaN once either is: a NaN from a
// broken-down solve must make a certificate fail, not drop out of a maximum
// as std::max would let it.
inline double largerOrNan(double a, double b) { return std::isnan(a) ? a : (std::isnan(b) || b > a ? b : a); }
inline double smallerOrNan(double a, double b) { return std::isnan(a) ? a : (std::isnan(b) || b < a ? b : a); }

// gamma_k / (1 - gamma_k), rounded up: k u (1 + 1e-6) exceeds it and its own
// rounding for any k below 10^9.
inline double dotProductSlack(size_t k) { return static_cast<double>(k) * UnitRoundoff * 1.000001; }

// An upper bound of a non-negative expression evaluated in at most eight
// operations, each rounded to nearest: eight relative errors of u stay below
// 2^-48, and the last term covers results below the normal range.
inline double inflated(double x) { return x * (1 + 0x1p-48) + UnderflowSlack; }

// The sum of n non-negative doubles in the order given, with bounds of the
// exact sum: Ogita, Rump and Oishi's Sum2 (error-free transformations, one
// compensation term), whose result is within u |s| + gamma_{n-1}^2 sum|x_i|
// of the exact s; for non-negative terms that is (u + gamma_{n-1}^2) s.
class BoundedSum {
public:
    void add(double x) {
        const double sum = total_ + x;
        const double z = sum - total_;
        compensation_ += (total_ - (sum - z)) + (x - z);
        total_ = sum;
        ++count_;
    }

    // A sum of zeros is exact.
    double value() const { return total_ + compensation_; }
    double low() const { return value() == 0.0 ? 0.0 : down(value() - up(relativeError() * value())); }
    double high() const { return value() == 0.0 ? 0.0 : up(value() + up(relativeError() * value())); }

private:
    // (u + gamma^2) / (1 - u - gamma^2), rounded up, where the exact sum is
    // at most value / (1 - u - gamma^2).
    double relativeError() const {
        const double g = dotProductSlack(count_ > 0 ? count_ - 1 : 0);
        return (UnitRoundoff + g * g) * (1 + 0x1p-40);
    }

    double total_ = 0.0;
    double compensation_ = 0.0;
    size_t count_ = 0;
};

// A dot product with one compensation term: Ogita, Rump and Oishi's Dot2,
// each product split exactly by a fused multiply-add and each sum by
// TwoSum, so that the result is as if computed in twice the precision and
// rounded once. Its error is at most u |s| + gamma_n^2 sum |x_i y_i|, plus
// UnderflowSlack for the products' errors that fall below the normal range;
// error() bounds it from the computed value.
class CompensatedDot {
public:
    void add(double x, double y) {
        const double product = x * y;
        addSplit(product, std::fma(x, y, -product));
    }
    // A term taken as it is.
    void add(double x) { addSplit(x, 0.0); }

    double value() const { return total_ + compensation_; }

    // At least |value() - exact|: with s the exact value, |value - s| <=
    // u |s| + gamma^2 M <= u |value| + u |value - s| + gamma^2 M, so the
    // error is at most (u |value| + gamma^2 M) / (1 - u), M itself within
    // gamma_n of its computed sum.
    double error() const {
        const double g = dotProductSlack(count_);
        const double magnitude = magnitude_ * (1 + g);
        return inflated((UnitRoundoff * std::fabs(value()) + g * g * magnitude) * (1 + 2 * UnitRoundoff));
    }

private:
    void addSplit(double term, double termError) {
        const double sum = total_ + term;
        const double z = sum - total_;
        compensation_ += ((total_ - (sum - z)) + (term - z)) + termError;
        total_ = sum;
        magnitude_ += std::fabs(term);
        ++count_;
    }

    double total_ = 0.0;
    double compensation_ = 0.0;
    double magnitude_ = 0.0;
    size_t count_ = 0;
};
