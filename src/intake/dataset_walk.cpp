#include "dataset_inputs.hpp"

namespace fs = std::filesystem;

namespace {

void readCategoryDirectory(const fs::path& directory, std::ifstream& stream, int recordLength,
                           std::vector<double>& faceList, std::vector<std::string>& problems)
{
    for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
        // status() follows links, so a link to a regular file is read like the file itself.
        if (entry.status().type() != fs::file_type::regular) continue;
        std::string problem = readFaceListFile(stream, entry.path().string(), recordLength, faceList);
        if (!problem.empty()) problems.push_back(std::move(problem));
    }
}

} // namespace

std::vector<std::string> walkDataset(const fs::path& root, std::ifstream& stream,
                                     DatasetInputs& inputs)
{
    std::vector<std::string> problems;
    for (const fs::directory_entry& dataEntry : fs::directory_iterator(root)) {
        if (dataEntry.path().filename() != "data") continue;
        for (const fs::directory_entry& entry : fs::directory_iterator(dataEntry.path())) {
            // Every entry's type is asked before its name is looked at, so an entry whose type
            // cannot be determined ends the walk whatever it is called.
            const fs::file_type type = entry.status().type();
            const fs::path name = entry.path().filename();
            if (type == fs::file_type::directory) {
                if (name == "force") {
                    readCategoryDirectory(entry.path(), stream, 3, inputs.forceFaces, problems);
                }
                if (name == "restraint") {
                    readCategoryDirectory(entry.path(), stream, 7, inputs.restraintFaces,
                                          problems);
                }
            }
            if (name == "address.txt") {
                readModelLocatorFile(stream, entry.path().string(), inputs.modelPath);
            }
        }
    }
    return problems;
}
