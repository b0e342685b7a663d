// readFaceListFile against a plain extraction loop, for force (3) and restraint (7) records:
// the same faces, and a message that is empty exactly when the file was read whole to its end.
// The records that a list is rewritten by are the reader's too, and a list rewritten with new
// face numbers reads back as exactly those numbers.
#include "input_file.hpp"
#include "intake/dataset_inputs.hpp"
#include "intake/list_records.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <locale>
#include <sstream>

namespace {

/// What the reader must give for one text.
struct Expected {
    std::vector<double> faces;
    std::string messageStart; ///< after the file's path; "" when the file reads whole
};

std::size_t skipSpace(const std::string& text, std::size_t offset)
{
    while (offset < text.size() && std::isspace(static_cast<unsigned char>(text[offset]))) {
        ++offset;
    }
    return offset;
}

std::string lineOf(const std::string& text, std::size_t offset)
{
    const auto begin = text.begin();
    return std::to_string(1 + std::count(begin, begin + static_cast<std::ptrdiff_t>(offset), '\n'));
}

// Numbers one by one with >>; a record's first number counts once the record is complete.
Expected extractRecords(const std::string& text, int recordLength)
{
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    Expected expected;
    const auto length = static_cast<std::size_t>(recordLength);
    std::size_t taken = 0;
    std::size_t end = 0;         // just past the last number taken
    std::size_t recordStart = 0; // where the first number of the current record starts
    double first = 0;
    for (double number = 0; in >> number;) {
        const std::size_t start = skipSpace(text, end);
        // At the end of the text the stream cannot tell its position.
        end = in.eof() ? text.size() : static_cast<std::size_t>(in.tellg());
        if (taken % length == 0) {
            first = number;
            recordStart = start;
        }
        if (++taken % length == 0) expected.faces.push_back(first);
    }

    const std::size_t rest = skipSpace(text, end);
    if (rest < text.size()) {
        expected.messageStart = ":" + lineOf(text, rest) + ": not a number: '";
    } else if (taken % length != 0) {
        expected.messageStart = ":" + lineOf(text, recordStart) + ": incomplete record of " +
                                std::to_string(taken % length) + " numbers";
    }
    return expected;
}

void checkReader(std::ifstream& stream, const std::string& path, const std::string& text,
                 int recordLength)
{
    const std::string context = " (records of " + std::to_string(recordLength) + ")";
    const Expected expected = extractRecords(text, recordLength);
    const double earlier = -42.5; // the reader appends; what was there stays
    std::vector<double> faces{earlier};
    const std::string message = readFaceListFile(stream, path, recordLength, faces);

    // Compared bit for bit: the same extraction must give the very same doubles.
    const auto sameBits = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    if (faces.size() != expected.faces.size() + 1 || !sameBits(faces[0], earlier) ||
        !std::equal(faces.begin() + 1, faces.end(), expected.faces.begin(), sameBits)) {
        failCheck("faces differ from the reference: " + std::to_string(faces.size() - 1) +
                  " read, " + std::to_string(expected.faces.size()) + " expected" + context);
    }
    if (expected.messageStart.empty() ? !message.empty()
                                      : message.rfind(path + expected.messageStart, 0) != 0) {
        failCheck("message '" + message + "', expected '" + path + expected.messageStart +
                  "...'" + context);
    }
    if (stream.is_open()) failCheck("the stream was left open" + context);

    const std::vector<ListRecord> records = findListRecords(text, recordLength);
    std::vector<double> found;
    for (const ListRecord& record : records) found.push_back(record.faceNumber);
    if (!std::equal(found.begin(), found.end(), expected.faces.begin(), expected.faces.end(),
                    sameBits)) {
        failCheck("the records to rewrite differ from the reader's" + context);
    }
    if (rewriteListText(text, records, {}) != text) failCheck("an empty rewrite changed the text");
    std::vector<std::vector<int>> numbers;
    for (std::size_t i = 0; i < records.size(); ++i) {
        numbers.push_back(i % 3 == 2 ? std::vector<int>{int(i), int(i) + 1} : std::vector<int>{});
        if (i % 3 == 0) numbers.back() = {int(i) + 1};
    }
    std::vector<double> wanted;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (numbers[i].empty()) wanted.push_back(records[i].faceNumber);
        wanted.insert(wanted.end(), numbers[i].begin(), numbers[i].end());
    }
    std::vector<double> readBack;
    for (const ListRecord& record : findListRecords(rewriteListText(text, records, numbers),
                                                    recordLength)) {
        readBack.push_back(record.faceNumber);
    }
    if (!std::equal(readBack.begin(), readBack.end(), wanted.begin(), wanted.end(), sameBits)) {
        failCheck("a rewritten list does not read back as its new numbers" + context);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // One stream for every input, as the tool uses one for every file: what one file leaves in
    // its state must not change how the next is read.
    static std::ifstream stream = [] {
        std::ifstream s;
        s.imbue(std::locale::classic());
        return s;
    }();
    const std::string path = writeInputFile(data, size);
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const int recordLength : {3, 7}) checkReader(stream, path, text, recordLength);
    return 0;
}
