#include "result_frames.hpp"

#include <stdexcept>

std::string encodeResult(const DatasetResult& result)
{
    std::string bytes = std::to_string(result.dataset) + ' ' + std::to_string(result.files) + ' ' +
                        (result.stale ? "1 " : "0 ") + std::to_string(result.errors) + ' ' +
                        std::to_string(result.lines.size()) + '\n';
    for (const std::string& line : result.lines) {
        bytes += std::to_string(line.size()) + '\n' + line + '\n';
    }
    return bytes;
}

namespace {

// Reads a decimal number ended by `end` at `at`; false when the bytes end first.
bool readNumber(const std::string& bytes, std::size_t& at, char end, std::size_t& number)
{
    number = 0;
    for (std::size_t i = at; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == end && i > at) {
            at = i + 1;
            return true;
        }
        if (c < '0' || c > '9' || i - at > 18) throw std::runtime_error("a damaged result");
        number = number * 10 + static_cast<std::size_t>(c - '0');
    }
    return false;
}

} // namespace

bool takeResult(std::string& bytes, DatasetResult& result)
{
    std::size_t at = 0, dataset = 0, files = 0, stale = 0, errors = 0, count = 0;
    if (!readNumber(bytes, at, ' ', dataset) || !readNumber(bytes, at, ' ', files) ||
        !readNumber(bytes, at, ' ', stale) || !readNumber(bytes, at, ' ', errors) ||
        !readNumber(bytes, at, '\n', count)) {
        return false;
    }
    if (stale > 1 || errors > count) throw std::runtime_error("a damaged result");
    std::vector<std::string> lines;
    for (std::size_t n = 0; n < count; ++n) {
        std::size_t length = 0;
        if (!readNumber(bytes, at, '\n', length)) return false;
        if (bytes.size() - at < length + 1) return false;
        if (bytes[at + length] != '\n') throw std::runtime_error("a damaged result");
        lines.push_back(bytes.substr(at, length));
        at += length + 1;
    }
    result.dataset = dataset;
    result.files = static_cast<int>(files);
    result.stale = stale == 1;
    result.errors = errors;
    result.lines = std::move(lines);
    bytes.erase(0, at);
    return true;
}
