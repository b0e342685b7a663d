#include "cache_entry.hpp"

#include "../digest/sha256.hpp"
#include "../model/face_export.hpp"
#include "../model/face_numbering.hpp"
#include "../paths/file_names.hpp"
#include "../text/number_text.hpp"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <system_error>
#include <thread>

namespace {

constexpr const char* digestKey = "sha256\t";
constexpr std::size_t digestLineSize = 7 + 64 + 1; // "sha256\t", 64 hex digits, "\n"

// Appends the bytes of the files of faces [first, last) to `text`, their sizes to `sizes`.
bool appendFaces(const std::vector<TopoDS_Face>& faces, std::size_t first, std::size_t last,
                 std::string& text, std::vector<std::size_t>& sizes)
{
    try {
        for (std::size_t i = first; i < last; ++i) {
            const std::string bytes = faceFileBytes(faces[i]);
            text += bytes;
            sizes[i] = bytes.size();
        }
        return true;
    } catch (...) {
        return false;
    }
}

// Appends the bytes of every face's file to `text`, in number order. Writing them costs about
// a tenth of what reading the model does, so the faces are shared out among the processors at
// hand, each taking a run of them; this thread's run goes straight into `text`, so that only
// the others' are ever held twice.
bool appendEveryFace(const std::vector<TopoDS_Face>& faces, std::string& text,
                     std::vector<std::size_t>& sizes)
{
    sizes.assign(faces.size(), 0);
    if (faces.empty()) return true;
    // A few faces are not worth a thread.
    const std::size_t parts = faces.size() < 64 ? 1 : std::min(usableProcessors(), 4u);
    const auto bound = [&](std::size_t part) { return faces.size() * part / parts; };
    std::vector<std::string> others(parts);
    std::vector<char> whole(parts, 0);
    const auto make = [&](std::size_t part) {
        whole[part] = appendFaces(faces, bound(part), bound(part + 1),
                                  part == 0 ? text : others[part], sizes);
    };
    // One face in this thread before any other starts, so that whatever the library sets up on
    // its first use is set up.
    try {
        faceFileBytes(faces.front());
    } catch (...) {
        return false;
    }
    std::vector<std::thread> threads(parts);
    for (std::size_t part = 1; part < parts; ++part) {
        try {
            threads[part] = std::thread(make, part);
        } catch (const std::system_error&) {
            // No thread to be had: made here below.
        }
    }
    make(0);
    bool wholeText = whole[0];
    for (std::size_t part = 1; part < parts; ++part) {
        if (threads[part].joinable()) {
            threads[part].join();
        } else {
            make(part);
        }
        wholeText = wholeText && whole[part];
        text += others[part];
        std::string().swap(others[part]);
    }
    return wholeText;
}

void appendLine(std::string& text, const std::string& key, const std::string& value)
{
    text += key;
    text += '\t';
    text += value;
    text += '\n';
}


// Reads an entry's lines and blocks in order; every read is checked against the text's end.
struct Reader {
    const std::string& text;
    std::size_t at = 0;
    std::string problem;

    bool fail(const std::string& why)
    {
        if (problem.empty()) problem = why;
        return false;
    }

    // The value of the next line, which must be "key\tvalue".
    bool line(const char* key, std::string& value)
    {
        const std::string prefix = std::string(key) + '\t';
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos || text.compare(at, prefix.size(), prefix) != 0) {
            return fail(std::string("no ") + key + " line where one belongs");
        }
        value = text.substr(at + prefix.size(), end - at - prefix.size());
        at = end + 1;
        return true;
    }

    bool bytes(std::size_t size, std::string& value)
    {
        if (size > text.size() - at) return fail("it ends within a block");
        value = text.substr(at, size);
        at += size;
        return true;
    }

    bool newline()
    {
        if (at >= text.size() || text[at] != '\n') return fail("a block does not end its line");
        ++at;
        return true;
    }
};

bool parseCount(const std::string& text, std::size_t& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// Whitespace-separated counts.
bool parseCounts(const std::string& text, std::vector<std::size_t>& values)
{
    values.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        std::size_t value = 0;
        if (!parseCount(text.substr(start, end - start), value)) return false;
        values.push_back(value);
        start = end + 1;
    }
    return true;
}

} // namespace

int countCachedFaces(const CacheEntry& entry)
{
    return entry.faceStarts.empty() ? 0 : int(entry.faceStarts.size() - 1);
}

std::string cachedFaceBytes(const CacheEntry& entry, int number)
{
    const std::size_t at = std::size_t(number - 1);
    return entry.text.substr(entry.faceStarts[at], entry.faceStarts[at + 1] - entry.faceStarts[at]);
}

bool makeCacheEntry(const std::string& key, const std::string& modelPath, const TopoDS_Shape& shape,
                    int shapeCount, const std::vector<LibraryMessage>& messages,
                    const ModelFacts& facts, std::size_t expectedSize, CacheEntry& entry)
{
    std::vector<TopoDS_Face> faces;
    visitFaces(shape, [&](int, const TopoDS_Face& face) { faces.push_back(face); });

    CacheEntry made;
    std::string& text = made.text;
    text.reserve(expectedSize);
    text = key;
    appendLine(text, "path", std::to_string(modelPath.size()));
    text += modelPath;
    text += '\n';
    appendLine(text, "shapes", std::to_string(shapeCount));
    appendLine(text, "messages", std::to_string(messages.size()));
    for (const LibraryMessage& message : messages) {
        appendLine(text, "message",
                   std::to_string(message.gravity) + '\t' + std::to_string(message.text.size()));
        text += message.text;
        text += '\n';
    }
    appendLine(text, "outline", std::to_string(facts.outline.size()));
    text += facts.outline;
    text += '\n';
    appendLine(text, "visits", joinNumbers(facts.firstVisits, " "));
    appendLine(text, "faces", std::to_string(faces.size()));
    // The faces' sizes follow them, so that their bytes go into the text as they are made.
    std::size_t at = text.size();
    std::vector<std::size_t> sizes;
    if (!appendEveryFace(faces, text, sizes)) return false;
    for (const std::size_t size : sizes) {
        made.faceStarts.push_back(at);
        at += size;
    }
    made.faceStarts.push_back(at);
    text += '\n';
    appendLine(text, "sizes", joinNumbers(sizes, " "));
    text += digestKey + sha256Hex(text) + '\n';
    made.modelPath = modelPath;
    made.messages = messages;
    made.shapeCount = shapeCount;
    made.facts = facts;
    entry = std::move(made);
    return true;
}

std::string parseCacheEntry(std::string text, const std::string& key, CacheEntry& entry)
{
    const std::string format = std::string(cacheEntryFormat) + '\n';
    if (text.compare(0, format.size(), format) != 0) {
        return "is of another format";
    }
    const std::size_t body = text.size() >= digestLineSize ? text.size() - digestLineSize : 0;
    Sha256 digest = startSha256();
    addToSha256(digest, text.data(), body);
    if (text.size() < digestLineSize || text.compare(body, 7, digestKey) != 0 ||
        text.back() != '\n' || text.compare(body + 7, 64, finishSha256(digest)) != 0) {
        return "is damaged or cut short (its bytes are not those its digest was made of)";
    }
    if (text.compare(0, key.size(), key) != 0) {
        return "was made for another model, or by another version of tarnfold or OpenCASCADE";
    }

    CacheEntry read;
    Reader reader{text, key.size(), {}};
    const auto unreadable = [&](const char* why) {
        return "cannot be read: " + (reader.problem.empty() ? std::string(why) : reader.problem);
    };
    std::string value;
    std::size_t pathSize = 0, shapes = 0, count = 0, faceCount = 0;
    if (!reader.line("path", value) || !parseCount(value, pathSize) ||
        !reader.bytes(pathSize, read.modelPath) || !reader.newline() ||
        !reader.line("shapes", value) || !parseCount(value, shapes) ||
        !reader.line("messages", value) || !parseCount(value, count)) {
        return unreadable("a count is no count");
    }
    for (std::size_t i = 0; i < count; ++i) {
        LibraryMessage message;
        std::size_t gravity = 0, size = 0;
        if (!reader.line("message", value)) return unreadable("");
        const std::size_t tab = value.find('\t');
        if (tab == std::string::npos || !parseCount(value.substr(0, tab), gravity) ||
            !parseCount(value.substr(tab + 1), size) || !reader.bytes(size, message.text) ||
            !reader.newline()) {
            return unreadable("a message line is not one");
        }
        message.gravity = int(gravity);
        read.messages.push_back(std::move(message));
    }
    std::size_t size = 0;
    std::vector<std::size_t> visits, sizes;
    if (!reader.line("outline", value) || !parseCount(value, size) ||
        !reader.bytes(size, read.facts.outline) || !reader.newline() ||
        !reader.line("visits", value) || !parseCounts(value, visits) ||
        !reader.line("faces", value) || !parseCount(value, faceCount) ||
        visits.size() != faceCount) {
        return unreadable("its counts disagree");
    }
    // The sizes line is the last before the digest, after the faces and a newline of its own.
    const std::size_t sizesAt = text.rfind('\n', body - 2) + 1;
    Reader trailer{text, sizesAt, {}};
    if (sizesAt <= reader.at || !trailer.line("sizes", value) || !parseCounts(value, sizes) ||
        sizes.size() != faceCount) {
        return unreadable("its counts disagree");
    }
    std::size_t at = reader.at;
    for (std::size_t i = 0; i < faceCount; ++i) {
        // A face is seen with itself or an earlier number as its first visit.
        if (visits[i] < 1 || visits[i] > i + 1 || sizes[i] > sizesAt - at) {
            return "cannot be read: its faces do not add up";
        }
        read.faceStarts.push_back(at);
        at += sizes[i];
    }
    read.faceStarts.push_back(at);
    if (at + 1 != sizesAt) return "cannot be read: its faces do not add up";
    read.facts.firstVisits.assign(visits.begin(), visits.end());
    read.facts.outlineSha256 = sha256Hex(read.facts.outline);
    read.shapeCount = int(shapes);
    read.text = std::move(text);
    entry = std::move(read);
    return {};
}
