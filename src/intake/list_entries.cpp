#include "list_entries.hpp"

#include <charconv>
#include <cmath>

std::vector<std::string> describeUnselectedEntries(const std::vector<double>& list,
                                                   const char* listName, int faceCount)
{
    std::vector<std::string> problems;
    for (const double entry : list) {
        // An entry selects a face when it equals one of the numbers 1..faceCount exactly.
        if (entry >= 1 && entry <= faceCount && entry == std::floor(entry)) continue;
        char text[32];
        const auto end = std::to_chars(text, text + sizeof text, entry).ptr;
        problems.push_back(std::string(listName) + " list entry " + std::string(text, end) +
                           " selects no face: the model has " + std::to_string(faceCount) +
                           (faceCount == 1 ? " face" : " faces"));
    }
    return problems;
}
