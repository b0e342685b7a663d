#pragma once

#include <string>
#include <vector>

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
