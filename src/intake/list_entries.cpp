#include "list_entries.hpp"

#include "../text/number_text.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

bool selectsFace(double entry, int faceCount)
{
    return entry >= 1 && entry <= faceCount && entry == std::floor(entry);
}

std::vector<int> listedFaceNumbers(std::initializer_list<const std::vector<double>*> lists)
{
    std::vector<int> numbers;
    for (const std::vector<double>* list : lists) {
        for (const double entry : *list) {
            if (selectsFace(entry, std::numeric_limits<int>::max())) {
                numbers.push_back(static_cast<int>(entry));
            }
        }
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

std::vector<std::string> describeUnselectedEntries(const std::vector<double>& list,
                                                   const char* listName, int faceCount,
                                                   const char* model)
{
    // A list of thousands of stray entries would flood the log: the first few are named, the
    // rest counted.
    constexpr int namedEntries = 20;
    std::vector<std::string> problems;
    int unselected = 0;
    for (const double entry : list) {
        if (selectsFace(entry, faceCount)) continue;
        if (++unselected > namedEntries) continue;
        problems.push_back(std::string(listName) + " list entry " + formatReal(entry) +
                           " selects no face: " + model + " has " + std::to_string(faceCount) +
                           (faceCount == 1 ? " face" : " faces"));
    }
    const int more = unselected - namedEntries;
    if (more > 0) {
        problems.push_back(std::to_string(more) + " more " + listName + " list " +
                           (more == 1 ? "entry selects" : "entries select") + " no face");
    }
    return problems;
}
