#include "dataset_inputs.hpp"

#include "../paths/narrow_form.hpp"

#include <stdexcept>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void failWalk(const std::string& what, const fs::path& path, std::error_code error)
{
    throw std::runtime_error("cannot " + what + " '" + shownForm(path) + "': " + error.message());
}

fs::directory_iterator openDirectory(const fs::path& directory, const char* kind)
{
    std::error_code error;
    fs::directory_iterator entries(directory, error);
    if (error) failWalk(std::string("read ") + kind, directory, error);
    return entries;
}

void advance(fs::directory_iterator& entries, const fs::path& directory)
{
    std::error_code error;
    entries.increment(error);
    if (error) failWalk("read directory", directory, error);
}

// status() follows links, so a link counts as what it points to; a missing target is
// `not_found`, which is no failure.
fs::file_type typeOf(const fs::directory_entry& entry)
{
    std::error_code error;
    const fs::file_status status = entry.status(error);
    if (status.type() == fs::file_type::none) failWalk("tell what is at", entry.path(), error);
    return status.type();
}

// One entry that cannot be examined (a loop of links, a target it may not look at) is that
// entry's problem; the other lists are read all the same.
void listCategoryDirectory(const fs::path& directory, DatasetFileKind kind,
                           std::vector<DatasetFile>& files, std::vector<std::string>* problems)
{
    for (auto entries = openDirectory(directory, "directory"); entries != fs::directory_iterator();
         advance(entries, directory)) {
        std::error_code error;
        const fs::file_status status = entries->status(error);
        if (status.type() == fs::file_type::none) {
            if (problems) {
                problems->push_back("cannot tell what is at '" + shownForm(entries->path()) +
                                    "': " + error.message() + "; it is not read as a list");
            }
            continue;
        }
        // A list is read through its narrow name, which a name on a wide file system may lack.
        if (const std::string problem = describeNarrowFormProblem(entries->path());
            !problem.empty()) {
            if (problems) problems->push_back(problem + "; it is not read as a list");
            continue;
        }
        if (status.type() == fs::file_type::regular) files.push_back({entries->path(), kind});
    }
}

} // namespace

std::vector<DatasetFile> listDatasetFiles(const fs::path& root, std::vector<std::string>* problems)
{
    std::vector<DatasetFile> files;
    for (auto top = openDirectory(root, "dataset"); top != fs::directory_iterator();
         advance(top, root)) {
        if (top->path().filename() != "data") continue;
        const fs::path data = top->path();
        for (auto entries = openDirectory(data, "directory"); entries != fs::directory_iterator();
             advance(entries, data)) {
            const fs::directory_entry& entry = *entries;
            // Every entry's type is asked before its name is looked at, so an entry whose type
            // cannot be determined ends the walk whatever it is called.
            const fs::file_type type = typeOf(entry);
            const fs::path name = entry.path().filename();
            if (type == fs::file_type::directory) {
                if (name == "force") {
                    listCategoryDirectory(entry.path(), DatasetFileKind::force, files, problems);
                }
                if (name == "restraint") {
                    listCategoryDirectory(entry.path(), DatasetFileKind::restraint, files,
                                          problems);
                }
            }
            if (name == "address.txt") files.push_back({entry.path(), DatasetFileKind::locator});
        }
    }
    return files;
}

std::vector<DatasetFile> listFaceListFiles(const fs::path& root)
{
    std::vector<DatasetFile> files;
    for (auto top = openDirectory(root, "dataset"); top != fs::directory_iterator();
         advance(top, root)) {
        if (top->path().filename() != "data") continue;
        const fs::path data = top->path();
        for (auto entries = openDirectory(data, "directory"); entries != fs::directory_iterator();
             advance(entries, data)) {
            const fs::path name = entries->path().filename();
            if (name != "force" && name != "restraint") continue;
            if (typeOf(*entries) != fs::file_type::directory) continue;
            listCategoryDirectory(entries->path(),
                                  name == "force" ? DatasetFileKind::force
                                                  : DatasetFileKind::restraint,
                                  files, nullptr);
        }
    }
    return files;
}

std::vector<std::string> walkDataset(const fs::path& root, std::ifstream& stream,
                                     DatasetInputs& inputs)
{
    std::vector<std::string> problems;
    for (const DatasetFile& file : listDatasetFiles(root, &problems)) {
        const std::string path = narrowForm(file.path);
        if (file.kind == DatasetFileKind::locator) {
            readModelLocatorFile(stream, path, inputs.modelPath);
            continue;
        }
        const bool force = file.kind == DatasetFileKind::force;
        std::string problem = readFaceListFile(stream, path, recordLength(file.kind),
                                               force ? inputs.forceFaces : inputs.restraintFaces);
        if (!problem.empty()) problems.push_back(std::move(problem));
    }
    return problems;
}

int recordLength(DatasetFileKind kind)
{
    return kind == DatasetFileKind::restraint ? 7 : 3;
}

std::string nameUnderData(const DatasetFile& file)
{
    // Not the platform's separator: a record written on Windows is read on Linux and back.
    return narrowForm(file.path.parent_path().filename()) + "/" + narrowForm(file.path.filename());
}
