#pragma once

#include <string>
#include <vector>

/// Appends the shortest text that reads back as the same double.
void appendReal(std::string& text, double value);

/// The shortest text that reads back as the same double.
std::string formatReal(double value);

/// Appends `value` with `digits` significant digits (printf's %g), for people to read: rounding
/// noise such as -1.8e-15 shows as 0, which would otherwise hide a zero from the eye and from a
/// search.
void appendRounded(std::string& text, double value, int digits);

/// `value` as appendRounded writes it.
std::string formatRounded(double value, int digits);

/// The numbers in their order, `separator` between each two.
template <class Number>
std::string joinNumbers(const std::vector<Number>& numbers, const char* separator = ", ")
{
    std::string text;
    for (const Number number : numbers) {
        if (!text.empty()) text += separator;
        text += std::to_string(number);
    }
    return text;
}
