#include "dataset_inputs.hpp"

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

int lineAt(std::ifstream& stream, std::streamoff offset)
{
    stream.clear();
    stream.seekg(0);
    int line = 1;
    std::istreambuf_iterator<char> it(stream), end;
    for (std::streamoff i = 0; i < offset && it != end; ++i, ++it) {
        if (*it == '\n') ++line;
    }
    return line;
}

// Reading stopped early: reads the file again, past the numbers already taken, to tell where and
// why. Runs only for a file that has something to report, so the main loop stays a plain
// extraction.
std::string describeStop(std::ifstream& stream, const std::string& filePath,
                         std::size_t numbersTaken, int recordLength)
{
    stream.clear();
    stream.seekg(0);
    double number = 0;
    for (std::size_t i = 0; i < numbersTaken; ++i) stream >> number;

    std::streamoff recordStart = -1;
    for (int got = 0;; ++got) {
        stream >> std::ws;
        if (stream.eof()) {
            return filePath + ":" + std::to_string(lineAt(stream, recordStart)) +
                   ": incomplete record of " + std::to_string(got) + " numbers (a record has " +
                   std::to_string(recordLength) + "); it is ignored";
        }
        const std::streamoff start = stream.tellg();
        if (got == 0) recordStart = start;
        if (!(stream >> number)) {
            stream.clear();
            stream.seekg(start);
            std::string word;
            stream >> word;
            return filePath + ":" + std::to_string(lineAt(stream, start)) + ": not a number: " +
                   quoteText(word) + "; reading stopped, the rest of the file is ignored";
        }
    }
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

    const std::size_t sizeBefore = faceList.size();
    std::vector<double> record(static_cast<std::size_t>(recordLength));
    bool stoppedEarly = false;
    // Skipping whitespace first tells a clean end of the file from a record cut short.
    while (stream >> std::ws && !stream.eof()) {
        for (double& slot : record) stream >> slot;
        if (!stream) {
            stoppedEarly = true;
            break;
        }
        faceList.push_back(record.front());
    }

    std::string problem;
    if (stoppedEarly) {
        const std::size_t numbersTaken =
            (faceList.size() - sizeBefore) * static_cast<std::size_t>(recordLength);
        problem = describeStop(stream, filePath, numbersTaken, recordLength);
    }
    stream.close();
    return problem;
}
