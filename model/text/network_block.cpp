#include "model/text/network_block.h"

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <istream>
#include <sstream>
#include <system_error>
#include <vector>

#include "model/text/message_text.h"

namespace {

const char* const ParameterNames[3] = {"alpha", "beta", "gamma"};

const char* const ByteOrderMark = "\xef\xbb\xbf";

std::string quoted(const std::string& text) { return quotedText(text); }

std::string withoutLineEnd(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    return line;
}

// A decimal number as digits and a power of ten: value = mantissa x 10^-decimals.
struct Decimal {
    std::string mantissa;  // digits only, without leading zeros
    long long decimals = 0;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The digits from `at` on; `at` moves past them.
std::string digitsAt(const std::string& text, size_t& at) {
    const size_t start = at;
    while (at < text.size() && isDigit(text[at])) ++at;
    return text.substr(start, at - start);
}

// [+-]digits[.digits][(e|E)[+-]digits], with a digit before or after
// the point: scanned by hand, in one pass whatever the length of the text.
bool splitDecimal(const std::string& text, Decimal& decimal) {
    size_t at = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    const std::string whole = digitsAt(text, at);
    std::string fraction;
    if (at < text.size() && text[at] == '.') fraction = digitsAt(text, ++at);
    if (whole.empty() && fraction.empty()) return false;
    long long exponent = 0;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        const bool negative = ++at < text.size() && text[at] == '-';
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
        const std::string digits = digitsAt(text, at);
        if (digits.empty()) return false;
        // Past nine digits the number is 0 or infinite all the same, as
        // strtod reads it: the exponent is held at a billion.
        exponent = (digits.size() > 9 ? 1000000000LL : std::stoll(digits)) * (negative ? -1 : 1);
    }
    if (at != text.size()) return false;
    decimal.mantissa = whole + fraction;
    decimal.decimals = static_cast<long long>(fraction.size()) - exponent;
    const size_t firstDigit = decimal.mantissa.find_first_not_of('0');
    decimal.mantissa.erase(0, firstDigit == std::string::npos ? decimal.mantissa.size() : firstDigit);
    return true;
}

// Compares the non-negative decimal with n / 10^6 exactly, digit by digit:
// -1, 0 or 1. However many digits the text has, they all count.
int compareWithMillionths(const Decimal& decimal, long long n) {
    if (n < 0) return 1;
    const std::string other = n == 0 ? "" : std::to_string(n);
    const std::string& mine = decimal.mantissa;
    if (mine.empty() || other.empty()) return mine.empty() ? (other.empty() ? 0 : -1) : 1;
    // The place of the leading digit decides first.
    const long long myPlace = static_cast<long long>(mine.size()) - decimal.decimals;
    const long long otherPlace = static_cast<long long>(other.size()) - 6;
    if (myPlace != otherPlace) return myPlace < otherPlace ? -1 : 1;
    const size_t length = std::max(mine.size(), other.size());
    for (size_t k = 0; k < length; ++k) {
        const char a = k < mine.size() ? mine[k] : '0';
        const char b = k < other.size() ? other[k] : '0';
        if (a != b) return a < b ? -1 : 1;
    }
    return 0;
}

// Whether the non-negative decimal lies within 0.0005 of k/64, decided on
// its digits as written: k/64 is 15625 k millionths, the band 500 each side.
bool withinSnapDistance(const Decimal& decimal, long long k) {
    return compareWithMillionths(decimal, 15625 * k - 500) >= 0 && compareWithMillionths(decimal, 15625 * k + 500) <= 0;
}

class BlockReader {
public:
    explicit BlockReader(std::istream& in) : in_(in) {}

    BlockError read(NetworkModel& network) {
        if (!findDataLine()) {
            if (error_.kind != BlockError::None) return error_;
            return fail(BlockError::BadInput, 0, "no \"DATA:\" line, so no network block");
        }
        std::vector<std::string> rows;
        std::vector<long long> rowLines;
        std::vector<double> values[3];
        std::string line;
        while (nextLine(line)) {
            if (line.empty()) break;
            if (!readNodeLine(line, rows, values)) return error_;
            rowLines.push_back(lineNumber_);
            if (static_cast<int>(rows.size()) > MaxBlockNodes)
                return fail(BlockError::BeyondLimit, lineNumber_,
                            "more than " + std::to_string(MaxBlockNodes) + " nodes, the most a network may have");
        }
        if (error_.kind != BlockError::None) return error_;
        const int n = static_cast<int>(rows.size());
        if (n < 2)
            return fail(BlockError::BadInput, dataLine_,
                        "the block has " + std::to_string(n) + " node line" + (n == 1 ? "" : "s") +
                            "; a network needs at least 2 nodes");
        if (static_cast<int>(rows[0].size()) != n)
            return fail(BlockError::BadInput, rowLines[0],
                        "the link rows have " + std::to_string(rows[0].size()) + " entries but the block has " +
                            std::to_string(n) + " node lines");
        if (!checkSymmetric(rows, rowLines)) return error_;
        fill(network, rows, values);
        return BlockError();
    }

private:
    // The next line without its end, or false at the end of the input or
    // when it cannot be read (error_ then says why). A line without end
    // costs no more than MaxLineLength bytes.
    bool nextLine(std::string& line) {
        line.clear();
        bool any = false;
        try {
            for (;;) {
                if (at_ == end_ && !refill()) break;
                const char* start = block_.data() + at_;
                const char* end = static_cast<const char*>(std::memchr(start, '\n', end_ - at_));
                const size_t length = end ? static_cast<size_t>(end - start) : end_ - at_;
                if (line.size() + length > MaxLineLength) {
                    fail(BlockError::CannotRead, 0,
                         "line " + std::to_string(lineNumber_ + 1) + " is longer than " +
                             std::to_string(MaxLineLength) + " bytes");
                    return false;
                }
                line.append(start, length);
                at_ += length;
                any = true;
                if (end) {
                    ++at_;
                    break;
                }
            }
        } catch (const std::system_error& e) {
            // A file stream's buffer throws when the system cannot read.
            in_.setstate(std::ios::badbit);
            fail(BlockError::CannotRead, 0, e.code().message());
            return false;
        }
        if (!any) return false;
        ++lineNumber_;
        line = withoutLineEnd(line);
        return true;
    }

    // Takes the next characters from the stream: as many as it holds ready
    // (a file's buffer), or else one by one up to the end of the line
    // (standard input through the C library, which holds none ready), so
    // that reading never waits for more than the input has.
    bool refill() {
        std::streambuf& buffer = *in_.rdbuf();
        at_ = 0;
        end_ = 0;
        const std::streamsize ready = buffer.in_avail();
        if (ready > 0) {
            end_ = static_cast<size_t>(
                buffer.sgetn(block_.data(), std::min(ready, static_cast<std::streamsize>(block_.size()))));
            return end_ > 0;
        }
        for (int c; end_ < block_.size() && (c = buffer.sbumpc()) != std::char_traits<char>::eof();) {
            block_[end_++] = static_cast<char>(c);
            if (c == '\n') break;
        }
        return end_ > 0;
    }

    bool findDataLine() {
        std::string line;
        while (nextLine(line)) {
            if (line.compare(0, 3, ByteOrderMark) == 0) line.erase(0, 3);
            if (line == "DATA:") {
                dataLine_ = lineNumber_;
                return true;
            }
        }
        return false;
    }

    bool readNodeLine(const std::string& line, std::vector<std::string>& rows, std::vector<double> (&values)[3]) {
        std::istringstream fields(line);
        std::string row;
        fields >> row;
        for (size_t j = 0; j < row.size(); ++j) {
            if (row[j] != '0' && row[j] != '1') {
                failHere("the link row " + quoted(row) + " holds " + quoted(std::string(1, row[j])) +
                         " at column " + std::to_string(j + 1) + "; only 0 and 1 may stand there");
                return false;
            }
        }
        if (row.size() > static_cast<size_t>(MaxBlockNodes)) {
            fail(BlockError::BeyondLimit, lineNumber_,
                 "the link row has " + std::to_string(row.size()) + " entries, more than " +
                     std::to_string(MaxBlockNodes) + " nodes, the most a network may have");
            return false;
        }
        if (!rows.empty() && row.size() != rows[0].size()) {
            failHere("the link row has " + std::to_string(row.size()) + " entries, the first had " +
                     std::to_string(rows[0].size()));
            return false;
        }
        for (int p = 0; p < 3; ++p) {
            std::string text;
            if (!(fields >> text)) {
                failHere(std::string(ParameterNames[p]) + " is missing");
                return false;
            }
            double value = 0.0;
            if (!readParameter(p, text, value)) return false;
            values[p].push_back(value);
        }
        std::string extra;
        if (fields >> extra) {
            failHere("unexpected " + quoted(extra) + " after gamma");
            return false;
        }
        rows.push_back(row);
        return true;
    }

    bool readParameter(int p, const std::string& text, double& value) {
        const std::string name = ParameterNames[p];
        if (!parseParameter(text, value)) {
            char* end = nullptr;
            const double written = std::strtod(text.c_str(), &end);
            const bool nonFinite = *end == '\0' && !text.empty() && !std::isfinite(written);
            failHere(name + " " + quoted(text) + (nonFinite ? " is not finite" : " is not a number"));
            return false;
        }
        if (!(value >= 0.0 && value <= 1.0)) {
            failHere(name + " " + quoted(text) + " is outside [0, 1]");
            return false;
        }
        return true;
    }

    bool checkSymmetric(const std::vector<std::string>& rows, const std::vector<long long>& rowLines) {
        const int n = static_cast<int>(rows.size());
        for (int i = 0; i < n; ++i) {
            if (rows[i][i] != '0') {
                fail(BlockError::BadInput, rowLines[i], "node " + std::to_string(i) + " is linked to itself");
                return false;
            }
            for (int j = 0; j < i; ++j) {
                if (rows[i][j] != rows[j][i]) {
                    const int set = rows[i][j] == '1' ? i : j;
                    const int unset = set == i ? j : i;
                    fail(BlockError::BadInput, rowLines[i],
                         "the link between nodes " + std::to_string(j) + " and " + std::to_string(i) +
                             " is set in row " + std::to_string(set) + " but not in row " + std::to_string(unset));
                    return false;
                }
            }
        }
        return true;
    }

    static void fill(NetworkModel& network, const std::vector<std::string>& rows, const std::vector<double> (&values)[3]) {
        const int n = static_cast<int>(rows.size());
        network = NetworkModel();
        network.resize(n);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) network.links[i][j] = rows[i][j] == '1';
        for (int p = 0; p < 3; ++p) network.params[p] = values[p];
    }

    void failHere(const std::string& message) { fail(BlockError::BadInput, lineNumber_, message); }

    BlockError fail(BlockError::Kind kind, long long line, const std::string& message) {
        error_ = BlockError{kind, line, message};
        return error_;
    }

    std::istream& in_;
    std::vector<char> block_ = std::vector<char>(1 << 16);
    size_t at_ = 0;
    size_t end_ = 0;
    long long lineNumber_ = 0;
    long long dataLine_ = 0;
    BlockError error_;
};

}  // namespace

bool parseParameter(const std::string& text, double& value) {
    Decimal decimal;
    if (!splitDecimal(text, decimal)) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(value)) return false;
    if (value < 0.0 || value > 1.0) return true;  // as written, for the caller's range check
    const long long nearest = std::llround(value * 64);
    for (long long k = nearest - 1; k <= nearest + 1; ++k) {
        if (k >= 0 && k <= 64 && withinSnapDistance(decimal, k)) {
            value = k / 64.0;
            break;
        }
    }
    return true;
}

BlockError readNetworkBlock(std::istream& in, NetworkModel& network) { return BlockReader(in).read(network); }

namespace {

// The fewest decimals that read back to the same double. printf rounds correctly, so
// the first precision whose text reads back is the shortest such text; floating-point
// to_chars would say the same but is missing from some standard libraries we build with.
std::string shortestFixed(double value) {
    char digits[1200];
    for (int decimals = 0;; ++decimals) {
        std::snprintf(digits, sizeof digits, "%.*f", decimals, value);
        if (std::strtod(digits, nullptr) == value || decimals >= 1100) return digits;
    }
}

}  // namespace

std::string preciseBlock(const NetworkModel& network) {
    std::string text = "DATA:\n";
    for (int i = 0; i < network.nodeCount; ++i) {
        for (int j = 0; j < network.nodeCount; ++j) text += network.links[i][j] != 0 ? '1' : '0';
        for (const auto& parameter : network.params) text += " " + shortestFixed(parameter[i]);
        text += "\n";
    }
    return text + "\n";
}

double asBlockGivesItBack(double value) {
    double read = value;
    parseParameter(shortestFixed(value), read);
    return read;
}
