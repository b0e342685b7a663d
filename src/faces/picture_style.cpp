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
