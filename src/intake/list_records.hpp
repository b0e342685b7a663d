#pragma once

#include <cstddef>
#include <string>
#include <vector>

/// A complete record of a face list file, as the face list reader takes it, with where its face
/// number stands in the file's bytes.
struct ListRecord {
    double faceNumber = 0;
    std::size_t numberStart = 0; ///< the first byte of the face number's text
    std::size_t numberEnd = 0;   ///< just past it
    std::size_t recordEnd = 0;   ///< just past the record's last number
    int line = 1;                ///< the line of the face number, from 1
};

/// Where and why the reading of a face list ended before the end of its text.
struct ListStop {
    enum class Kind { none, incompleteRecord, notANumber };
    Kind kind = Kind::none;
    int line = 0;       ///< the line of the incomplete record, or of the text that is no number
    int numbersGot = 0; ///< the numbers of the incomplete record
    std::string text;   ///< the text that is no number, up to the next blank
};

/// The complete records of a face list file's `text`, as every reader of the lists takes them:
/// up to the first text that is not a number, an incomplete last record left out. `stop` says
/// where and why reading ended early, when it did.
std::vector<ListRecord> readListRecords(const std::string& text, int recordLength, ListStop& stop);

/// The complete records of `text`, as readListRecords finds them.
std::vector<ListRecord> findListRecords(const std::string& text, int recordLength);

/// The text of each number of `record` in `text`, the face number first, split where the reader
/// splits them: "5e1.5 2" is "5e1", ".5" and "2".
std::vector<std::string> recordNumberTexts(const std::string& text, const ListRecord& record);

/// `text` with the face number of each record replaced by `newNumbers` of the same index: one
/// number takes its place; several repeat the record, once for each, in the given order; none
/// leaves the record as it is. Every other byte stays as it was. A repeated record follows the
/// one before it after the blanks that follow the record in the text, or a line end when none do.
std::string rewriteListText(const std::string& text, const std::vector<ListRecord>& records,
                            const std::vector<std::vector<int>>& newNumbers);
