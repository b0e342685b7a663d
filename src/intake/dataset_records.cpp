#include "dataset_records.hpp"

#include "list_records.hpp"


#include <algorithm>
#include <fstream>
#include <sstream>

std::vector<DatasetRecord> readDatasetRecords(const std::filesystem::path& root)
{
    // In the order of their names, which, unlike the order of a directory, is the same on every
    // machine: a face listed in two files keeps its records in the same order.
    std::vector<DatasetFile> files = listDatasetFiles(root);
    std::sort(files.begin(), files.end(),
              [](const DatasetFile& a, const DatasetFile& b) { return a.path < b.path; });
    std::vector<DatasetRecord> records;
    for (const DatasetFile& file : files) {
        if (file.kind == DatasetFileKind::locator) continue;
        std::ifstream stream(file.path, std::ios::binary);
        std::ostringstream bytes;
        if (stream.is_open()) bytes << stream.rdbuf();
        if (!stream.is_open() || stream.bad()) continue;
        const std::string text = bytes.str();
        const std::string name = nameUnderData(file);
        for (const ListRecord& record : findListRecords(text, recordLength(file.kind))) {
            records.push_back(
                {file.kind, record.faceNumber, recordNumberTexts(text, record), name, record.line});
        }
    }
    return records;
}
