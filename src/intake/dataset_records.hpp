#pragma once

#include "dataset_inputs.hpp"

#include <filesystem>
#include <string>
#include <vector>

/// A complete record of one of a dataset's face list files, its numbers as they are written.
struct DatasetRecord {
    DatasetFileKind kind = DatasetFileKind::force;
    double faceNumber = 0;            ///< the first number, as the reader takes it
    std::vector<std::string> numbers; ///< the text of each number, the face number first
    std::string file;                 ///< the file as data/ holds it: "force/loads.txt"
    int line = 1;                     ///< the line of the face number, from 1
};

/// Every complete record that the reader takes from the dataset's face list files, file by file
/// in the order of their paths. A file that cannot be read gives none: the walk reports it.
/// Throws as listDatasetFiles.
std::vector<DatasetRecord> readDatasetRecords(const std::filesystem::path& root);
