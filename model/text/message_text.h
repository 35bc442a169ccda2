#pragma once

#include <string>

// Text from a user or a file inside a one-line message. A network file, a
// file name or an option's value can hold line breaks, NUL bytes, terminal
// escape sequences or bytes that are not UTF-8, and can be megabytes long:
// echoed as it is, one of them could end the line early, recolour or clear a
// terminal, or bury the message. These make it one safe line.

// The most bytes of a token that a message shows; the rest is cut.
constexpr size_t MaxShownToken = 64;
// The most bytes of a file name that a message shows, cut in its middle so
// that the name at its end stays.
constexpr size_t MaxShownName = 1024;

// `text` in double quotes, control characters, bytes that are not UTF-8,
// backslashes and quotes escaped C-style (\n, \x1b, \u009b, \\, \"); past
// MaxShownToken bytes cut, with "..." and the whole length after the quotes:
// "1111...1" becomes "111[64 bytes]..." (50000 bytes).
std::string quotedText(const std::string& text);

// A file name as given, its control characters and bytes that are not UTF-8
// escaped, and past MaxShownName bytes cut in the middle with "...".
std::string shownName(const std::string& name);

// `message` with its control characters and bytes that are not UTF-8
// escaped, so that whatever made it, it is printed as one line. The result is
// well-formed UTF-8 that XML 1.0 allows once its markup characters are
// escaped.
std::string oneLine(const std::string& message);
