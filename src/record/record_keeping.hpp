#pragma once

#include "record_files.hpp"
#include "run_model.hpp"

#include <string>
#include <vector>

struct RunState;

/// The face files of the last run that a new record made untrue, and were removed.
struct RemovedFaceFiles {
    int unlisted = 0; ///< of faces that no list names now
    int changed = 0;  ///< of numbers listed still, that name another face now
    std::vector<std::string> problems; ///< one line per such file that could not be removed
};

/// A face file that a record names, as written still, which another record makes untrue.
struct UntrueFaceFile {
    std::string path;
    std::string bytes;   ///< as it holds them, the recorded ones
    bool listed = false; ///< its number is listed still, and names another face now
};

/// Each face file that `before` names and that still holds the bytes it recorded (a run wrote
/// it, and nobody changed it since), unless `after` names it with those same bytes: its number
/// no longer names the face it holds, or no list names it. A file of other bytes, and a link,
/// are never among them.
std::vector<UntrueFaceFile> findUntrueFaceFiles(const std::string& root, const RunRecord& before,
                                                const RunRecord& after);

/// How many of `files` are of faces no list names, and how many of numbers listed still.
RemovedFaceFiles countRemovedFaceFiles(const std::vector<UntrueFaceFile>& files);

/// Removes each face file that `before` names and that still holds the bytes it recorded (a
/// run wrote it, and nobody changed it since), unless `after` names it with those same bytes:
/// its number no longer names the face it holds, or no list names it. A file of other bytes,
/// and a link, are never removed.
RemovedFaceFiles removeUntrueFaceFiles(const std::string& root, const RunRecord& before,
                                       const RunRecord& after);

/// The note on what removeUntrueFaceFiles removed for the dataset at `root`; "" for nothing.
std::string describeRemovedFaceFiles(const RemovedFaceFiles& removed, const std::string& root);

/// Writes the record of a run of `lists` on `model` into the dataset at `root`, with the hashes
/// of its face files, and first removes the face files that the record it replaces names and
/// that the new one makes untrue (see removeUntrueFaceFiles), into `removed` when given.
/// Returns "" or one line that says why it could not (without `removed`, also one that says a
/// face file could not be removed). A model that is not a regular file (a pipe) leaves no
/// record: its bytes cannot be named.
std::string keepRunRecord(const std::string& root, const RunModel& model,
                          const std::vector<ListFileNow>& lists, const FaceHashes& hashes,
                          RunState* state, RemovedFaceFiles* removed = nullptr);

/// The two files of a record, as keepRunRecord writes them.
struct RecordTexts {
    std::string outline; ///< data/last-run-model.tsv
    std::string record;  ///< data/last-run.tsv
};

/// What keepRunRecord would write, without writing it, and the record itself into `made` when
/// given. Returns "" or why no record can be kept; `texts` is left empty for a model that is not
/// a regular file.
std::string composeRunRecord(const std::string& root, const RunModel& model,
                             const std::vector<ListFileNow>& lists, const FaceHashes& hashes,
                             RecordTexts& texts, RunRecord* made = nullptr);

/// The record that keepRunRecord writes, with the outline's SHA-256 given.
RunRecord makeRunRecord(const RunModel& model, const std::vector<ListFileNow>& lists,
                        const FaceHashes& hashes, const std::string& outlineSha256);

/// "" when `record` was made for the very model at hand: the same bytes, numbered by the same
/// versions of tarnfold and OpenCASCADE. Otherwise what changed since, such as "the model
/// changed since the last run".
std::string describeModelChange(const RunRecord& record, const RunModel& model);

/// The version of OpenCASCADE that records name.
const char* libraryVersion();

/// The version of tarnfold that records name.
const char* toolVersion();
