#pragma once

#include "revision_pairs.hpp"
#include "test_support.hpp"

#include <filesystem>
#include <string>
#include <vector>

/// Writes the revisions to dir/old.step and dir/new.step, and checks that reading them back
/// numbers the faces as the shapes in memory do, so that the history's numbers hold for them.
void writeRevisions(const Revision& revision, const std::filesystem::path& dir);

/// Writes both revisions into `dir` and runs `tarnfold-faces --model new --since old` on
/// them; returns its table, one row per old face.
std::vector<TableRow> sinceRun(const Revision& revision, const std::filesystem::path& dir,
                               ToolRun& run);

/// Numbers as the table writes them: comma-separated, "-" for none.
std::string joined(const std::vector<int>& numbers);

/// The table must say what the history says, row for row; exit 0 only when nothing is gone.
void expectTruth(const std::vector<TableRow>& rows, const std::vector<Truth>& truths,
                 const ToolRun& run);
