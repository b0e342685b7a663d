#include "list_entries.hpp"

#include <charconv>
#include <cmath>

bool selectsFace(double entry, int faceCount)
{
    return entry >= 1 && entry <= faceCount && entry == std::floor(entry);
}

std::vector<std::string> describeUnselectedEntries(const std::vector<double>& list,
                                                   const char* listName, int faceCount)
{
    // A list of thousands of stray entries would flood the log: the first few are named, the
    // rest counted.
    constexpr int namedEntries = 20;
    std::vector<std::string> problems;
    int unselected = 0;
    for (const double entry : list) {
        if (selectsFace(entry, faceCount)) continue;
        if (++unselected > namedEntries) continue;
        char text[32];
        const auto end = std::to_chars(text, text + sizeof text, entry).ptr;
        problems.push_back(std::string(listName) + " list entry " + std::string(text, end) +
                           " selects no face: the model has " + std::to_string(faceCount) +
                           (faceCount == 1 ? " face" : " faces"));
    }
    const int more = unselected - namedEntries;
    if (more > 0) {
        problems.push_back(std::to_string(more) + " more " + listName + " list " +
                           (more == 1 ? "entry selects" : "entries select") + " no face");
    }
    return problems;
}
