#include "batch_support.hpp"

#include <sstream>

namespace fs = std::filesystem;

ToolRun runBatch(const std::vector<std::string>& args, const fs::path& workDir,
                 const std::function<void()>& inChild)
{
    return runBinary(TARNFOLD_BATCH_BINARY, args, workDir, {}, inChild);
}

bool BatchRow::operator==(const BatchRow& other) const
{
    return dataset == other.dataset && status == other.status && files == other.files &&
           model == other.model;
}

std::ostream& operator<<(std::ostream& out, const BatchRow& row)
{
    return out << '[' << row.dataset << " | " << row.status << " | " << row.files << " | "
               << row.model << ']';
}

std::vector<BatchRow> parseBatchTable(const std::string& out)
{
    std::istringstream lines(out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "dataset\tstatus\tfiles\tmodel") << out;
    std::vector<BatchRow> rows;
    while (std::getline(lines, line)) {
        BatchRow row;
        std::istringstream fields(line);
        std::getline(fields, row.dataset, '\t');
        std::getline(fields, row.status, '\t');
        std::getline(fields, row.files, '\t');
        std::getline(fields, row.model, '\t');
        rows.push_back(row);
    }
    return rows;
}

std::string linesFor(const std::string& err, const std::string& root)
{
    std::istringstream lines(err);
    std::string line, picked;
    const std::string prefix = root + ": ";
    while (std::getline(lines, line)) {
        if (line.rfind(prefix, 0) == 0) picked += line.substr(prefix.size()) + '\n';
    }
    return picked;
}

std::map<std::string, std::string> faceFiles(const fs::path& data)
{
    std::map<std::string, std::string> files;
    if (!fs::is_directory(data)) return files;
    for (const std::string& name : listNames(data)) {
        if (name.rfind("face", 0) == 0) files[name] = readFile(data / name);
    }
    return files;
}

void clearFaceFiles(const fs::path& data)
{
    for (const auto& [name, bytes] : faceFiles(data)) fs::remove(data / name);
}
