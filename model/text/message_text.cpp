#include "model/text/message_text.h"

#include <cstdio>

namespace {

// The length of the UTF-8 sequence at `at` and its code point, or 0 when
// the bytes there are not well-formed UTF-8 (overlong forms, surrogates and
// code points above U+10FFFF included).
size_t decodeUtf8(const std::string& text, size_t at, char32_t& codePoint) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[at + k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    size_t length;
    unsigned char low = 0x80;
    unsigned char high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0) low = 0xa0;
        if (lead == 0xed) high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0) low = 0x90;
        if (lead == 0xf4) high = 0x8f;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (size_t k = 2; k < length; ++k)
        if (byte(k) < 0x80 || byte(k) > 0xbf) return 0;
    codePoint = lead & (0x7f >> length);
    for (size_t k = 1; k < length; ++k) codePoint = (codePoint << 6) | (byte(k) & 0x3f);
    return length;
}

// Code points that move the cursor, end a line or reorder what follows on a
// terminal: C1 controls, the Unicode line and paragraph separators, the
// bidirectional marks, overrides and isolates, and the byte-order mark; and
// the two noncharacters that XML forbids.
bool invisibleControl(char32_t c) {
    return (c >= 0x80 && c <= 0x9f) || c == 0x200e || c == 0x200f || (c >= 0x2028 && c <= 0x202e) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0xfeff || c == 0xfffe || c == 0xffff;
}

void appendHex(std::string& out, const char* pattern, unsigned value) {
    char digits[12];
    std::snprintf(digits, sizeof digits, pattern, value);
    out += digits;
}

void appendEscaped(std::string& out, const std::string& text, bool quoting) {
    for (size_t at = 0; at < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        char32_t codePoint = 0;
        const size_t length = decodeUtf8(text, at, codePoint);
        if (length == 0) {
            appendHex(out, "\\x%02x", c);
            ++at;
            continue;
        }
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            appendHex(out, "\\x%02x", c);
        } else if (quoting && (c == '\\' || c == '"')) {
            out += '\\';
            out += static_cast<char>(c);
        } else if (invisibleControl(codePoint)) {
            appendHex(out, "\\u%04x", static_cast<unsigned>(codePoint));
        } else {
            out.append(text, at, length);
        }
        at += length;
    }
}

// The byte position at or before `at` where a UTF-8 sequence starts.
size_t characterStart(const std::string& text, size_t at) {
    while (at > 0 && at < text.size() && (static_cast<unsigned char>(text[at]) & 0xc0) == 0x80) --at;
    return at;
}

}  // namespace

std::string quotedText(const std::string& text) {
    const bool cut = text.size() > MaxShownToken;
    std::string out = "\"";
    appendEscaped(out, cut ? text.substr(0, characterStart(text, MaxShownToken)) : text, true);
    out += cut ? "...\" (" + std::to_string(text.size()) + " bytes)" : "\"";
    return out;
}

std::string shownName(const std::string& name) {
    std::string out;
    if (name.size() <= MaxShownName) {
        appendEscaped(out, name, false);
        return out;
    }
    const size_t half = MaxShownName / 2;
    appendEscaped(out, name.substr(0, characterStart(name, half)), false);
    out += "...";
    appendEscaped(out, name.substr(characterStart(name, name.size() - half)), false);
    return out;
}

std::string oneLine(const std::string& message) {
    std::string out;
    appendEscaped(out, message, false);
    return out;
}
