#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <regex>
#include <sstream>
#include <string>

#include "model/support/engine_error.h"
#include "model/text/message_text.h"
#include "model/text/network_block.h"
#include "model/text/network_input.h"

namespace {

// A buffer that hands out one character at a time and holds none ready, as
// standard input does through the C library.
class OneByOne : public std::streambuf {
public:
    explicit OneByOne(std::string text) : text_(std::move(text)) {}
    std::string unread() const { return text_.substr(at_); }

protected:
    int_type underflow() override { return at_ < text_.size() ? traits_type::to_int_type(text_[at_]) : traits_type::eof(); }
    int_type uflow() override { return at_ < text_.size() ? traits_type::to_int_type(text_[at_++]) : traits_type::eof(); }

private:
    std::string text_;
    size_t at_ = 0;
};

// Reads the text through a buffer that holds it all ready and through one
// that holds nothing ready: both must read the same.
BlockError readBlock(const std::string& text) {
    std::istringstream in(text);
    NetworkModel network;
    const BlockError error = readNetworkBlock(in, network);
    OneByOne characters(text);
    std::istream unbuffered(&characters);
    NetworkModel same;
    const BlockError sameError = readNetworkBlock(unbuffered, same);
    EXPECT_EQ(sameError.kind, error.kind);
    EXPECT_EQ(sameError.line, error.line);
    EXPECT_EQ(sameError.message, error.message);
    EXPECT_EQ(same.links, network.links);
    EXPECT_EQ(same.params, network.params);
    return error;
}

// The kind of error readNetworkInput throws for `path`, and its message.
std::pair<EngineError::Kind, std::string> inputError(const std::string& path) {
    try {
        readNetworkInput(path);
    } catch (const EngineError& e) {
        return {e.kind(), e.what()};
    }
    return {EngineError::BadInput, "no error"};
}

// Whether every byte of the text is printable: no line break, no escape.
bool printable(const std::string& text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
    return true;
}

}  // namespace

// The numbers a block may hold are those of the pattern the reader once
// matched with a regular expression, which recursed once per character and
// overflowed the stack on long numbers; the expression is the oracle here,
// on short texts only.
TEST(NetworkInput, ParametersAreTheNumbersOfTheDecimalPattern) {
    const std::regex pattern(R"([+-]?(\d*)(?:\.(\d*))?(?:[eE]([+-]?\d+))?)");
    const std::string alphabet = "0123456789+-.eE x";
    std::mt19937 random(41);
    int accepted = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        std::string text;
        for (int k = static_cast<int>(random() % 11); k > 0; --k) text += alphabet[random() % alphabet.size()];
        std::smatch parts;
        char* end = nullptr;
        const double written = std::strtod(text.c_str(), &end);
        const bool expected = std::regex_match(text, parts, pattern) && (parts[1].length() || parts[2].length()) &&
                              *end == '\0' && std::isfinite(written);
        double value = -1;
        ASSERT_EQ(parseParameter(text, value), expected) << '"' << text << '"';
        accepted += expected;
    }
    EXPECT_GT(accepted, 1000);
    double value = 0;
    EXPECT_TRUE(parseParameter("0." + std::string(50000, '0') + "1", value));
    EXPECT_EQ(value, 0.0);
    EXPECT_TRUE(parseParameter("1e-000001", value));
    EXPECT_EQ(value, 0.1);
    EXPECT_TRUE(parseParameter("1e0000001", value));
    EXPECT_EQ(value, 10.0);
    EXPECT_FALSE(parseParameter(std::string(50000, '1'), value));
    EXPECT_TRUE(parseParameter("0.0004", value));
    EXPECT_EQ(value, 0.0);
    EXPECT_TRUE(parseParameter("0.016000000000000000000000000000000001", value));
    EXPECT_EQ(value, 0.015625);
    // An exponent of any length underflows to 0 as a short one does.
    for (const char* tiny : {"1e-400", "1e-1000000", "5e-99999999999999999999"}) {
        EXPECT_TRUE(parseParameter(tiny, value)) << tiny;
        EXPECT_EQ(value, 0.0) << tiny;
    }
    EXPECT_FALSE(parseParameter("1e99999999999", value));
    // The band of 0.0005 about a 64th is decided on the digits as written,
    // every one of them, not on the double they round to.
    const std::string tail = std::string(36, '0') + "1";
    for (const std::string& edge : {std::string("0.5005"), std::string("0.4995"), "0.4995" + tail}) {
        EXPECT_TRUE(parseParameter(edge, value)) << edge;
        EXPECT_EQ(value, 0.5) << edge;
    }
    for (const std::string& past : {"0.5005" + tail, "0.4994" + std::string(40, '9'), std::string("0.50050001")}) {
        EXPECT_TRUE(parseParameter(past, value)) << past;
        EXPECT_EQ(value, std::strtod(past.c_str(), nullptr)) << past;
        EXPECT_NE(value, 0.5) << past;
    }
}

// A line may hold up to MaxLineLength bytes; a longer one, or a folder,
// cannot be read, and a link row longer than any network may be is refused
// at its line.
TEST(NetworkInput, LongLinesFoldersAndEndlessInputsAreRefused) {
    const std::string block = "DATA:\n01 1 1 1\n10 1 1 1\n";
    EXPECT_EQ(readBlock(std::string(MaxLineLength, 'x') + "\n" + block).kind, BlockError::None);
    const BlockError longLine = readBlock("x\n" + std::string(MaxLineLength + 1, 'x') + "\n" + block);
    EXPECT_EQ(longLine.kind, BlockError::CannotRead);
    EXPECT_EQ(longLine.message, "line 2 is longer than 1048576 bytes");
    const BlockError wideRow = readBlock("DATA:\n" + std::string(MaxBlockNodes + 1, '0') + " 1 1 1\n");
    EXPECT_EQ(wideRow.kind, BlockError::BeyondLimit);
    EXPECT_EQ(wideRow.line, 2);
    EXPECT_EQ(readBlock("DATA:\n" + std::string(MaxBlockNodes, '0') + " 1 1 1\n").kind, BlockError::BadInput);
    EXPECT_EQ(readBlock("\xef\xbb\xbf" + block).kind, BlockError::None);
    // Where nothing is held ready (a terminal, a pipe), reading stops at the
    // block's end: it never waits for input beyond it.
    OneByOne characters(block + "\nlater input");
    std::istream unbuffered(&characters);
    NetworkModel network;
    EXPECT_EQ(readNetworkBlock(unbuffered, network).kind, BlockError::None);
    EXPECT_EQ(characters.unread(), "later input");

    char folder[] = "/tmp/vorlask-input-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const auto [folderKind, folderSays] = inputError(folder);
    EXPECT_EQ(folderKind, EngineError::CannotRead);
    EXPECT_EQ(folderSays, std::string("cannot read ") + folder + ": Is a directory");
    rmdir(folder);
    const auto [zeroKind, zeroSays] = inputError("/dev/zero");
    EXPECT_EQ(zeroKind, EngineError::CannotRead);
    EXPECT_EQ(zeroSays, "cannot read /dev/zero: line 1 is longer than 1048576 bytes");
}

// Messages about a block show its text quoted, escaped and cut.
TEST(NetworkInput, MessagesShowTheBlocksTextSafely) {
    const BlockError escape = readBlock("DATA:\n0\x1b]0;x\x07 1 1 1\n10 1 1 1\n");
    EXPECT_EQ(escape.message, "the link row \"0\\x1b]0;x\\x07\" holds \"\\x1b\" at column 2; only 0 and 1 may stand there");
    const BlockError huge = readBlock("DATA:\n01 2" + std::string(50000, '0') + " 1 1\n10 1 1 1\n");
    EXPECT_EQ(huge.message, "alpha \"2" + std::string(63, '0') + "...\" (50001 bytes) is not finite");
    EXPECT_EQ(readBlock("DATA:\n01 1 1 1e999x\n10 1 1 1\n").message, "gamma \"1e999x\" is not a number");
}

TEST(MessageText, ControlsAndBrokenUtf8AreEscapedAndLongTextCut) {
    EXPECT_EQ(quotedText("a\"b\\c\n\t\r\x1b\x7f"), "\"a\\\"b\\\\c\\n\\t\\r\\x1b\\x7f\"");
    // Valid UTF-8 stays; C1 controls, line separators, bidirectional
    // overrides and byte-order marks become \u escapes; bytes that are not
    // UTF-8 (a lone continuation, an overlong slash, a surrogate, a cut
    // sequence) become \x escapes.
    EXPECT_EQ(oneLine("\xc2\xa0\xc3\xa9\xdf\xbf\xe4\xb8\xad\xe2\x81\xaa\xf0\x9f\x98\x80"),
              "\xc2\xa0\xc3\xa9\xdf\xbf\xe4\xb8\xad\xe2\x81\xaa\xf0\x9f\x98\x80");
    EXPECT_EQ(oneLine("\xc2\x80\xc2\x9f\xe2\x80\xa8\xe2\x80\xae\xe2\x81\xa6\xe2\x81\xa9\xef\xbb\xbf\xef\xbf\xbe"),
              "\\u0080\\u009f\\u2028\\u202e\\u2066\\u2069\\ufeff\\ufffe");
    EXPECT_EQ(oneLine("\x80|\xc0\xaf|\xed\xa0\x80|\xc3\xc0|\xe4\xb8\xc0|\xe4\xb8"),
              "\\x80|\\xc0\\xaf|\\xed\\xa0\\x80|\\xc3\\xc0|\\xe4\\xb8\\xc0|\\xe4\\xb8");
    EXPECT_EQ(oneLine("\xf4\x90\x80\x80|\xf0\x8f\xbf\xbf"), "\\xf4\\x90\\x80\\x80|\\xf0\\x8f\\xbf\\xbf");
    // The first and last code points of each length and range stay, the
    // overlong and surrogate ones just past them do not.
    EXPECT_EQ(oneLine("\xe0\xa0\x80|\xed\x9f\xbf|\xee\x80\x80|\xf0\x90\x80\x80|\xf4\x8f\xbf\xbf"),
              "\xe0\xa0\x80|\xed\x9f\xbf|\xee\x80\x80|\xf0\x90\x80\x80|\xf4\x8f\xbf\xbf");
    EXPECT_EQ(oneLine("\xe0\x9f\xbf|\xc1\xbf"), "\\xe0\\x9f\\xbf|\\xc1\\xbf");
    EXPECT_EQ(oneLine("a\"b\\c"), "a\"b\\c");

    const std::string cut = quotedText(std::string(63, 'x') + "\xe4\xb8\xad" + std::string(100, 'y'));
    EXPECT_EQ(cut, "\"" + std::string(63, 'x') + "...\" (166 bytes)");
    EXPECT_EQ(quotedText(std::string(64, 'x')), "\"" + std::string(64, 'x') + "\"");

    const std::string path = std::string(2000, 'f') + "/ring.txt";
    const std::string shown = shownName(path);
    EXPECT_EQ(shown.size(), 512u + 3 + 512);
    EXPECT_EQ(shown.substr(shown.size() - 9), "/ring.txt");
    EXPECT_NE(shown.find("..."), std::string::npos);
    EXPECT_EQ(shownName("folder/ring.txt"), "folder/ring.txt");

    // Whatever bytes come in, one printable line comes out, which needs no
    // further escaping.
    std::mt19937 random(3);
    for (int trial = 0; trial < 2000; ++trial) {
        std::string text;
        for (int k = static_cast<int>(random() % 40); k > 0; --k) text += static_cast<char>(random() % 256);
        const std::string line = oneLine(text);
        ASSERT_TRUE(printable(line));
        ASSERT_EQ(oneLine(line), line);
        ASSERT_TRUE(printable(quotedText(text)));
        ASSERT_TRUE(printable(shownName(text)));
    }
}

// The optimiser's block writes each parameter with the fewest decimals that
// read back to the same double: every value comes back as the block reader
// takes it, and one decimal fewer would not give the value.
TEST(NetworkInput, PreciseBlocksReadBackWithTheFewestDecimals) {
    std::mt19937_64 random(3);
    std::vector<double> values = {0.0, 1.0, 0.5, 0.1, 1.0 / 3, 0x1p-30, 0.0005, 0.015625 + 1e-9};
    for (int k = 0; k < 200; ++k) values.push_back(std::uniform_real_distribution<double>(0.0, 1.0)(random));
    for (const double value : values) {
        NetworkModel pair;
        pair.resize(2);
        pair.links[0][1] = pair.links[1][0] = 1;
        pair.params[NetworkModel::Beta][1] = value;
        const std::string block = preciseBlock(pair);
        std::istringstream lines(block);
        std::string heading, first, links, alpha, beta;
        std::getline(lines, heading);
        std::getline(lines, first);
        lines >> links >> alpha >> beta;
        std::istringstream in(block);
        NetworkModel read;
        ASSERT_EQ(readNetworkBlock(in, read).kind, BlockError::None) << block;
        EXPECT_EQ(read.params[NetworkModel::Beta][1], asBlockGivesItBack(value)) << beta;
        EXPECT_EQ(std::strtod(beta.c_str(), nullptr), value) << beta;
        const size_t point = beta.find('.');
        if (point == std::string::npos) continue;
        char shorter[64];
        std::snprintf(shorter, sizeof shorter, "%.*f", static_cast<int>(beta.size() - point - 2), value);
        EXPECT_NE(std::strtod(shorter, nullptr), value) << beta;
    }
}
