#pragma once

#include "test_support.hpp"

#include <map>

/// Runs tarnfold-batch as runTool runs tarnfold.
ToolRun runBatch(const std::vector<std::string>& args, const std::filesystem::path& workDir = {},
                 const std::function<void()>& inChild = {});

/// One row of tarnfold-batch's table.
struct BatchRow {
    std::string dataset, status, files, model;
    bool operator==(const BatchRow& other) const;
};

/// Prints a row as the test messages show it.
std::ostream& operator<<(std::ostream& out, const BatchRow& row);

/// The rows of a table under its header; fails the test when the header is not the expected one.
std::vector<BatchRow> parseBatchTable(const std::string& out);

/// The lines of the batch's stderr that name `root`, each without "<root>: " and with its
/// newline: what tarnfold alone would print on stderr for that dataset.
std::string linesFor(const std::string& err, const std::string& root);

/// The face files of a data directory, name to bytes.
std::map<std::string, std::string> faceFiles(const std::filesystem::path& data);

/// Removes the face files of a data directory.
void clearFaceFiles(const std::filesystem::path& data);
