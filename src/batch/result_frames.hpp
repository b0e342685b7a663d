#pragma once

#include <cstddef>
#include <string>
#include <vector>

/// What a model worker reports for one dataset once it is done with it.
struct DatasetResult {
    std::size_t dataset = 0;        ///< index into the batch's datasets
    int files = 0;                  ///< face files written whole
    bool stale = false;             ///< its lists no longer name the faces they were written for
    std::vector<std::string> lines; ///< error and note lines, in order, without newlines
    std::size_t errors = 0;         ///< how many of the lines are errors
};

/// `result` as bytes for the results pipe: "<dataset> <files> <stale> <errors> <count>\n", then
/// each line as "<length>\n<bytes>\n", so that a line may hold any byte.
std::string encodeResult(const DatasetResult& result);

/// Takes the first whole result off the front of `bytes`. Returns false, leaving `bytes` as it
/// was, when no whole result is there yet; throws std::runtime_error for bytes that no
/// encodeResult gave.
bool takeResult(std::string& bytes, DatasetResult& result);
