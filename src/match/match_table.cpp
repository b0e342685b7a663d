#include "match_table.hpp"

#include "../intake/dataset_inputs.hpp"
#include "../intake/list_entries.hpp"

#include <charconv>

std::vector<MatchRow> selectMatchRows(const std::vector<FaceMatch>& matches,
                                      const DatasetInputs* inputs)
{
    std::vector<MatchRow> rows;
    if (!inputs) {
        for (const FaceMatch& match : matches) rows.push_back({match, FaceList::none});
        return rows;
    }
    const std::vector<int> force = listedFaceNumbers({&inputs->forceFaces});
    const std::vector<int> restraint = listedFaceNumbers({&inputs->restraintFaces});
    for (const FaceMatch& match : matches) {
        const FaceList list = findInLists(match.oldNumber, force, restraint);
        if (list != FaceList::none) rows.push_back({match, list});
    }
    return rows;
}

std::string formatMatchHeader(bool withDataset)
{
    return std::string(withDataset ? "dataset\t" : "") + "old\tnew\tmatch\tlist\tkept\treason\n";
}

std::string formatMatchRows(const std::vector<MatchRow>& rows, const std::string* dataset)
{
    std::string text;
    for (const MatchRow& row : rows) {
        const FaceMatch& match = row.match;
        if (dataset) text += *dataset + '\t';
        text += std::to_string(match.oldNumber) + '\t';
        for (std::size_t i = 0; i < match.newNumbers.size(); ++i) {
            text += (i == 0 ? "" : ",") + std::to_string(match.newNumbers[i]);
        }
        if (match.newNumbers.empty()) text += '-';
        text += '\t';
        text += matchKindName(match.kind);
        text += '\t';
        text += listName(row.list);
        text += '\t';
        char digits[32];
        const auto end = std::to_chars(digits, digits + sizeof digits, match.kept,
                                       std::chars_format::general, 3)
                             .ptr;
        text.append(digits, end);
        text += '\t';
        text += match.reason.empty() ? "-" : match.reason;
        text += '\n';
    }
    return text;
}
