#pragma once

#include "batch_dataset.hpp"

#include "../output/table_fields.hpp"

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

/// The model column of a dataset: its model path as address.txt gives it, "-" when none.
std::string modelField(const BatchDataset& dataset);

/// The word for a status in the table.
const char* statusWord(DatasetStatus status);

/// The header row of the table, newline included.
std::string tableHeader();

/// Where the table stands: the rows printed so far, in input order, and where rows and lines go.
struct BatchTable {
    std::ostream* rows = nullptr;  ///< the table (stdout)
    std::ostream* lines = nullptr; ///< each dataset's error lines (stderr)
    std::size_t printed = 0;       ///< rows printed so far
    int writeError = 0;            ///< errno of the first failed write of the rows, 0 if none
};

/// Prints every row that is known and has only known rows before it, each with its dataset's
/// error lines ("<root>: <line>"), and flushes both streams. Records in the table why the rows
/// could not be written, if they could not.
void printKnownRows(BatchTable& table, const std::vector<BatchDataset>& datasets);

/// Prints what a model's worker printed (the library's messages), whole, after a line naming
/// the model and how many datasets it was read for.
void printModelMessages(std::ostream& out, const ModelGroup& group, const std::string& messages);
