#include "cli/chart_text.h"

#include <vector>

namespace {

constexpr double UnitsPerEm = 2048;

// Advances of the printable ASCII characters, space to tilde, in DejaVu Sans
// and DejaVu Sans Bold (units of 1/2048 em, from the faces' hmtx tables).
constexpr int RegularAdvances[95] = {
    651,  821,  942,  1716, 1303, 1946, 1597, 563,  799,  799,  1024, 1716, 651,  739,  651,  690,  1303, 1303, 1303,
    1303, 1303, 1303, 1303, 1303, 1303, 1303, 690,  690,  1716, 1716, 1716, 1087, 2048, 1401, 1405, 1430, 1577, 1294,
    1178, 1587, 1540, 604,  604,  1343, 1141, 1767, 1532, 1612, 1235, 1612, 1423, 1300, 1251, 1499, 1401, 2025, 1403,
    1251, 1403, 799,  690,  799,  1716, 1024, 1024, 1255, 1300, 1126, 1300, 1260, 721,  1300, 1298, 569,  569,  1186,
    569,  1995, 1298, 1253, 1300, 1300, 842,  1067, 803,  1298, 1212, 1675, 1212, 1212, 1075, 1303, 690,  1303, 1716};
constexpr int BoldAdvances[95] = {
    713,  934,  1067, 1716, 1425, 2052, 1786, 627,  936,  936,  1071, 1716, 778,  850,  778,  748,  1425, 1425, 1425,
    1425, 1425, 1425, 1425, 1425, 1425, 1425, 819,  819,  1716, 1716, 1716, 1188, 2048, 1585, 1561, 1503, 1700, 1399,
    1399, 1681, 1714, 762,  762,  1587, 1305, 2038, 1714, 1741, 1501, 1741, 1577, 1475, 1397, 1663, 1585, 2259, 1579,
    1483, 1485, 936,  748,  936,  1716, 1024, 1024, 1382, 1466, 1214, 1466, 1389, 891,  1466, 1458, 702,  702,  1362,
    702,  2134, 1458, 1407, 1466, 1466, 1010, 1219, 979,  1458, 1335, 1892, 1321, 1335, 1192, 1458, 748,  1458, 1716};

// Hinting and rounding at small sizes widen text a little beyond its advances.
constexpr double Widening = 1.05;

const char* const Ellipsis = "\xe2\x80\xa6";

// The text split into characters: UTF-8 sequences stay whole, so a cut never
// falls inside one.
std::vector<std::string> characters(const std::string& text) {
    std::vector<std::string> pieces;
    for (size_t at = 0; at < text.size();) {
        size_t end = at + 1;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80) ++end;
        pieces.push_back(text.substr(at, end - at));
        at = end;
    }
    return pieces;
}

double characterWidth(const std::string& character, const ChartFont& font) {
    const unsigned char c = static_cast<unsigned char>(character[0]);
    const int advance = c >= 0x20 && c < 0x7f ? (font.bold ? BoldAdvances : RegularAdvances)[c - 0x20] : 2048;
    return advance / UnitsPerEm * font.size * Widening;
}

}  // namespace

double textWidth(const std::string& text, const ChartFont& font) {
    double width = 0;
    for (const auto& character : characters(text)) width += characterWidth(character, font);
    return width;
}

std::string fittedText(const std::string& text, double width, const ChartFont& font, Shorten where) {
    if (textWidth(text, font) <= width) return text;
    const std::vector<std::string> pieces = characters(text);
    double room = width - textWidth(Ellipsis, font);
    // Characters are taken from the front, or from the front and the back in
    // turn, while they fit beside the ellipsis.
    std::string head;
    std::string tail;
    size_t front = 0;
    size_t back = pieces.size();
    bool fromFront = true;
    while (front < back) {
        const std::string& next = fromFront ? pieces[front] : pieces[back - 1];
        const double needed = characterWidth(next, font);
        if (needed > room) break;
        room -= needed;
        if (fromFront) {
            head += next;
            ++front;
        } else {
            tail.insert(0, next);
            --back;
        }
        if (where == Shorten::InMiddle) fromFront = !fromFront;
    }
    return head + Ellipsis + tail;
}
