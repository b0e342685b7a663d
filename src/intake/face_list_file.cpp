#include "dataset_inputs.hpp"
#include "list_records.hpp"

#include <cerrno>
#include <cstring>
#include <istream>
#include <iterator>

namespace {

// Shows a piece of the file as printable text: other bytes (a byte-order mark, UTF-16's zero
// bytes, control characters) appear as \xNN so that the message stays one readable line.
std::string quoteText(const std::string& text)
{
    constexpr std::size_t shownBytes = 32;
    std::string shown;
    for (std::size_t i = 0; i < text.size() && i < shownBytes; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x20 && byte < 0x7f && byte != '\\') {
            shown += static_cast<char>(byte);
        } else {
            static const char digits[] = "0123456789ABCDEF";
            shown += "\\x";
            shown += digits[byte >> 4];
            shown += digits[byte & 0xf];
        }
    }
    if (text.size() > shownBytes) shown += "...";
    return "'" + shown + "'";
}

} // namespace

std::string readFaceListFile(std::ifstream& stream, const std::string& filePath, int recordLength,
                             std::vector<double>& faceList)
{
    errno = 0;
    // As bytes: the positions that tell where reading stopped are then offsets in the file, also
    // where text mode would turn CRLF into LF (Windows); CR is whitespace to the reader anyway.
    stream.open(filePath, std::ios::in | std::ios::binary);
    if (!stream.is_open()) {
        const int reason = errno;
        return filePath + ": cannot open: " +
               (reason != 0 ? std::strerror(reason) : "reason unknown");
    }

    const std::string text{std::istreambuf_iterator<char>(stream),
                           std::istreambuf_iterator<char>()};
    stream.close();
    ListStop stop;
    for (const ListRecord& record : readListRecords(text, recordLength, stop)) {
        faceList.push_back(record.faceNumber);
    }
    switch (stop.kind) {
    case ListStop::Kind::none: break;
    case ListStop::Kind::incompleteRecord:
        return filePath + ":" + std::to_string(stop.line) + ": incomplete record of " +
               std::to_string(stop.numbersGot) + " numbers (a record has " +
               std::to_string(recordLength) + "); it is ignored";
    case ListStop::Kind::notANumber:
        return filePath + ":" + std::to_string(stop.line) + ": not a number: " +
               quoteText(stop.text) + "; reading stopped, the rest of the file is ignored";
    }
    return "";
}
