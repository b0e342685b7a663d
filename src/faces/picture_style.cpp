#include "picture_style.hpp"

#include <charconv>

std::uint32_t listColour(FaceList list)
{
    switch (list) {
    case FaceList::force: return 0xd55e00;
    case FaceList::restraint: return 0x0072b2;
    case FaceList::both: return 0x8e3fa8;
    default: return 0xd2d2d2;
    }
}

void appendColour(std::string& svg, std::uint32_t colour)
{
    static const char hex[] = "0123456789abcdef";
    svg += '#';
    for (int shift = 20; shift >= 0; shift -= 4) svg += hex[(colour >> shift) & 0xf];
}

void appendCoordinate(std::string& svg, double value)
{
    char digits[32];
    const auto end =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 1).ptr;
    svg.append(digits, end);
}

void appendPoint(std::string& svg, char command, double x, double y)
{
    svg += command;
    appendCoordinate(svg, x);
    svg += ' ';
    appendCoordinate(svg, y);
}

std::size_t utf8Length(const std::string& text, std::size_t i)
{
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = byte < 0x80                   ? 1
                               : byte >= 0xc2 && byte < 0xe0 ? 2
                               : byte >= 0xe0 && byte < 0xf0 ? 3
                               : byte >= 0xf0 && byte < 0xf5 ? 4
                                                             : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((text[i + k] & 0xc0) != 0x80) return 0;
    }
    return length;
}

void appendXmlText(std::string& svg, const std::string& text)
{
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = utf8Length(text, i);
        const bool valid = length != 0;
        if (!valid || (byte < 0x20 && byte != '\t') || byte == 0x7f) {
            svg += '?';
            ++i;
            continue;
        }
        switch (byte) {
        case '&': svg += "&amp;"; break;
        case '<': svg += "&lt;"; break;
        case '>': svg += "&gt;"; break;
        case '"': svg += "&quot;"; break;
        default: svg.append(text, i, length);
        }
        i += length;
    }
}
