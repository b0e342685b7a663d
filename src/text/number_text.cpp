#include "number_text.hpp"

#include <charconv>
#include <cmath>

void appendReal(std::string& text, double value)
{
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    text.append(digits, end);
}

std::string formatReal(double value)
{
    std::string text;
    appendReal(text, value);
    return text;
}

void appendRounded(std::string& text, double value, int digits)
{
    if (std::abs(value) < 1e-9) value = 0;
    char buffer[32];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits)
            .ptr;
    text.append(buffer, end);
}

std::string formatRounded(double value, int digits)
{
    std::string text;
    appendRounded(text, value, digits);
    return text;
}
