#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

/// What the dataset walk gathers for one run.
struct DatasetInputs {
    std::vector<double> forceFaces;     ///< first number of each force record, in reading order
    std::vector<double> restraintFaces; ///< first number of each restraint record, in reading order
    std::string modelPath;              ///< last word of the model locator file, bytes unchanged
};

/// What a file found in a dataset holds.
enum class DatasetFileKind { force, restraint, locator };

/// A file that the walk of a dataset reads.
struct DatasetFile {
    std::filesystem::path path;
    DatasetFileKind kind;
};

/// The numbers in a record of a face list file of this kind: 3 for force, 7 for restraint.
int recordLength(DatasetFileKind kind);

/// The files of a dataset in the order the walk reads them: every regular file (or link to one)
/// of root/data/force and root/data/restraint, and root/data/address.txt. An entry of those two
/// whose type cannot be determined is left out, with a message in `problems` when given. Throws
/// as walkDataset.
std::vector<DatasetFile> listDatasetFiles(const std::filesystem::path& root,
                                          std::vector<std::string>* problems = nullptr);

/// The face list files of a dataset, in the order the walk reads them, as listDatasetFiles
/// lists them, without asking after the other entries of root/data (a run's face files among
/// them). Throws as walkDataset.
std::vector<DatasetFile> listFaceListFiles(const std::filesystem::path& root);

/// The name of a face list file under data/ as the record and the page give it on every
/// platform, with a forward slash: "force/loads.txt".
std::string nameUnderData(const DatasetFile& file);

/// Walks root/data and its "force" and "restraint" directories, reading every file found into
/// `inputs`. Throws std::runtime_error, whose text names what could not be read, its path and the
/// system's reason, when a directory cannot be listed or the type of an entry of root/data
/// cannot be determined. Returns one message per face list file not read whole and per entry of
/// "force" or "restraint" whose type cannot be determined.
std::vector<std::string> walkDataset(const std::filesystem::path& root, std::ifstream& stream,
                                     DatasetInputs& inputs);

/// Appends the first number of every complete record of `recordLength` numbers in the file to
/// `faceList`, stopping at the first text that is not a number. Returns "" when the file was read
/// whole, otherwise a message naming the file, the line and why reading stopped.
std::string readFaceListFile(std::ifstream& stream, const std::string& filePath, int recordLength,
                             std::vector<double>& faceList);

/// Sets `modelPath` to the file's last whitespace-separated word; leaves it as it was when the
/// file cannot be opened or holds no word.
void readModelLocatorFile(std::ifstream& stream, const std::string& filePath,
                          std::string& modelPath);

/// The message for a dataset whose model locator file is missing or holds no word.
std::string describeUnnamedModel(const std::string& datasetRoot);
