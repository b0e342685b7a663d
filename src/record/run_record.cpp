#include "run_record.hpp"

#include "record_text.hpp"

#include "../output/table_fields.hpp"

#include <algorithm>

namespace {

constexpr const char* formatLine = "format\ttarnfold last run 1";
constexpr const char* faceHeader = "face\tlist\tvisits\tfile\tsha256";

std::string joinVisits(const std::vector<int>& visits)
{
    std::string text;
    for (const int visit : visits) text += (text.empty() ? "" : ",") + std::to_string(visit);
    return text;
}

bool parseVisits(const std::string& text, std::vector<int>& visits)
{
    visits.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        long long number = 0;
        if (!parseCount(text.substr(start, comma - start), number) || number < 1 ||
            number > 2147483647) {
            return false;
        }
        visits.push_back(int(number));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return std::is_sorted(visits.begin(), visits.end());
}

bool parseList(const std::string& text, FaceList& list)
{
    for (const FaceList kind : {FaceList::force, FaceList::restraint, FaceList::both}) {
        if (text == listName(kind)) {
            list = kind;
            return true;
        }
    }
    return false;
}

// One key line: the key, then its values.
std::string parseKeyLine(const std::vector<std::string>& fields, RunRecord& record)
{
    const std::string& key = fields[0];
    const auto values = [&](std::size_t count) { return fields.size() == count + 1; };
    long long number = 0;
    if (key == "tarnfold" && values(1)) {
        record.toolVersion = fields[1];
    } else if (key == "opencascade" && values(1)) {
        record.libraryVersion = fields[1];
    } else if (key == "model" && values(1)) {
        if (!unescapeField(fields[1], record.modelPath)) return "a model path it cannot read";
    } else if (key == "model_size" && values(1)) {
        if (!parseCount(fields[1], number)) return "a size that is not a count";
        record.modelSize = std::uint64_t(number);
    } else if (key == "model_sha256" && values(1)) {
        if (!isSha256(fields[1])) return "a SHA-256 that is not 64 hexadecimal digits";
        record.modelSha256 = fields[1];
    } else if (key == "model_faces" && values(1)) {
        if (!parseCount(fields[1], number) || number > 2147483647) return "a face count it cannot read";
        record.modelFaces = int(number);
    } else if (key == "model_outline" && values(2)) {
        if (fields[1] != outlineFileName || !isSha256(fields[2])) return "an outline it cannot read";
        record.outlineSha256 = fields[2];
    } else if (key == "list" && values(2)) {
        RecordedList list;
        if (!unescapeField(fields[1], list.name) || list.name.empty() || !isSha256(fields[2])) {
            return "a list it cannot read";
        }
        list.sha256 = fields[2];
        record.lists.push_back(list);
    } else {
        return "a line it cannot read ('" + key + "')";
    }
    return {};
}

std::string parseFaceRow(const std::vector<std::string>& fields, RunRecord& record)
{
    RecordedFace face;
    long long number = 0;
    if (fields.size() != 5 || !parseCount(fields[0], number) || number < 1 ||
        number > 2147483647 || !parseList(fields[1], face.list) ||
        !parseVisits(fields[2], face.visits) || !unescapeField(fields[3], face.file) ||
        !isSha256(fields[4])) {
        return "a face row it cannot read";
    }
    face.number = int(number);
    face.sha256 = fields[4];
    if (!std::binary_search(face.visits.begin(), face.visits.end(), face.number)) {
        return "a face whose visits leave out its own number";
    }
    if (!record.faces.empty() && record.faces.back().number >= face.number) {
        return "faces out of order";
    }
    record.faces.push_back(std::move(face));
    return {};
}

} // namespace

std::string formatRunRecord(const RunRecord& record)
{
    std::string text = std::string(formatLine) + '\n';
    text += "tarnfold\t" + record.toolVersion + '\n';
    text += "opencascade\t" + record.libraryVersion + '\n';
    text += "model\t" + escapeField(record.modelPath) + '\n';
    text += "model_size\t" + std::to_string(record.modelSize) + '\n';
    text += "model_sha256\t" + record.modelSha256 + '\n';
    text += "model_faces\t" + std::to_string(record.modelFaces) + '\n';
    text += std::string("model_outline\t") + outlineFileName + '\t' + record.outlineSha256 + '\n';
    for (const RecordedList& list : record.lists) {
        text += "list\t" + escapeField(list.name) + '\t' + list.sha256 + '\n';
    }
    text += std::string(faceHeader) + '\n';
    for (const RecordedFace& face : record.faces) {
        text += std::to_string(face.number) + '\t' + listName(face.list) + '\t' +
                joinVisits(face.visits) + '\t' + escapeField(face.file) + '\t' + face.sha256 +
                '\n';
    }
    return text;
}

std::string parseRunRecord(const std::string& text, RunRecord& record)
{
    record = RunRecord();
    const std::vector<std::string> lines = splitLines(text);
    if (lines.empty() || lines[0] != formatLine) {
        return "line 1: not a record of tarnfold's last run, or one of another format";
    }
    bool inFaces = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::string problem;
        if (lines[i] == faceHeader && !inFaces) {
            inFaces = true;
            continue;
        }
        const std::vector<std::string> fields = splitFields(lines[i]);
        problem = inFaces ? parseFaceRow(fields, record) : parseKeyLine(fields, record);
        if (!problem.empty()) return "line " + std::to_string(i + 1) + ": " + problem;
    }
    if (!inFaces || record.toolVersion.empty() || record.libraryVersion.empty() ||
        record.modelSha256.empty() || record.outlineSha256.empty()) {
        return "line " + std::to_string(lines.size()) + ": the record ends before it is whole";
    }
    return {};
}

const RecordedList* findRecordedList(const RunRecord& record, const std::string& listName)
{
    for (const RecordedList& list : record.lists) {
        if (list.name == listName) return &list;
    }
    return nullptr;
}

const RecordedFace* findRecordedFace(const RunRecord& record, int number)
{
    const auto found = std::lower_bound(
        record.faces.begin(), record.faces.end(), number,
        [](const RecordedFace& face, int n) { return face.number < n; });
    return found != record.faces.end() && found->number == number ? &*found : nullptr;
}
