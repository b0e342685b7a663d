#include "list_records.hpp"

#include <algorithm>
#include <locale>
#include <sstream>

namespace {

bool isBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

} // namespace

std::vector<ListRecord> readListRecords(const std::string& text, int recordLength, ListStop& stop)
{
    // The stream's own extraction of a double, in the classic locale: "5e1.5" is 5e1 and .5.
    std::istringstream stream(text);
    stream.imbue(std::locale::classic());
    std::vector<ListRecord> records;
    stop = {};
    // Lines are counted on from the record before, so that a long list costs its length once.
    int line = 1;
    std::size_t counted = 0;
    const auto lineAt = [&](std::size_t at) {
        line += int(std::count(text.begin() + std::ptrdiff_t(counted),
                               text.begin() + std::ptrdiff_t(at), '\n'));
        counted = at;
        return line;
    };
    while (stream >> std::ws && !stream.eof()) {
        ListRecord record;
        for (int i = 0; i < recordLength; ++i) {
            stream >> std::ws;
            if (stream.eof()) {
                stop = {ListStop::Kind::incompleteRecord, lineAt(record.numberStart), i, {}};
                return records;
            }
            const auto start = static_cast<std::size_t>(stream.tellg());
            double number = 0;
            if (!(stream >> number)) {
                std::size_t end = start;
                while (end < text.size() && !isBlank(text[end])) ++end;
                stop = {ListStop::Kind::notANumber, lineAt(start), i,
                        text.substr(start, end - start)};
                return records;
            }
            // At the end of the text the stream no longer tells its position.
            const std::size_t end =
                stream.eof() ? text.size() : static_cast<std::size_t>(stream.tellg());
            if (i == 0) {
                record.faceNumber = number;
                record.numberStart = start;
                record.numberEnd = end;
            }
            record.recordEnd = end;
        }
        record.line = lineAt(record.numberStart);
        records.push_back(record);
    }
    return records;
}

std::vector<ListRecord> findListRecords(const std::string& text, int recordLength)
{
    ListStop stop;
    return readListRecords(text, recordLength, stop);
}

std::vector<std::string> recordNumberTexts(const std::string& text, const ListRecord& record)
{
    // The record alone reads as it did in the text: its last number ended where the next byte
    // could not go on with it, as the end of the text cannot.
    const std::string span = text.substr(record.numberStart, record.recordEnd - record.numberStart);
    std::istringstream stream(span);
    stream.imbue(std::locale::classic());
    std::vector<std::string> numbers;
    for (double number = 0; stream >> std::ws && !stream.eof();) {
        const auto start = static_cast<std::size_t>(stream.tellg());
        if (!(stream >> number)) break;
        const std::size_t end =
            stream.eof() ? span.size() : static_cast<std::size_t>(stream.tellg());
        numbers.push_back(span.substr(start, end - start));
    }
    return numbers;
}

std::string rewriteListText(const std::string& text, const std::vector<ListRecord>& records,
                            const std::vector<std::vector<int>>& newNumbers)
{
    const std::string lineEnd = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    std::string out;
    std::size_t copied = 0;
    for (std::size_t i = 0; i < records.size() && i < newNumbers.size(); ++i) {
        const ListRecord& record = records[i];
        const std::vector<int>& numbers = newNumbers[i];
        if (numbers.empty()) continue;
        out.append(text, copied, record.numberStart - copied);
        const std::string rest = text.substr(record.numberEnd, record.recordEnd - record.numberEnd);
        std::size_t blanksEnd = record.recordEnd;
        while (blanksEnd < text.size() && isBlank(text[blanksEnd])) ++blanksEnd;
        const std::string between =
            blanksEnd > record.recordEnd
                ? text.substr(record.recordEnd, blanksEnd - record.recordEnd)
                : lineEnd;
        // A number that began right where the one before ended (as "-5" does after "+0") began
        // with a sign, which ended the one before; the new one keeps a sign for the same reason.
        const bool adjoins = record.numberStart > 0 && !isBlank(text[record.numberStart - 1]);
        // A number followed right away by a point (".5" after "5e1") had an exponent or a point
        // of its own, which ended it; a whole number would run on into ".5", so it gets an
        // exponent of its own.
        const bool pointFollows = !rest.empty() && rest.front() == '.';
        for (std::size_t k = 0; k < numbers.size(); ++k) {
            if (k > 0) out += between;
            out += (k == 0 && adjoins ? "+" : "") + std::to_string(numbers[k]) +
                   (pointFollows ? "e0" : "") + rest;
        }
        copied = record.recordEnd;
    }
    out.append(text, copied, std::string::npos);
    return out;
}
