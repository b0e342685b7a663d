#pragma once

#include "model_outline.hpp"
#include "run_record.hpp"

#include "../intake/dataset_inputs.hpp"
#include "../intake/list_records.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct RunState;

/// A file's bytes as a run took them in.
struct HashedFile {
    bool regular = true; ///< false for a pipe or a device, whose bytes are not hashed
    std::uint64_t size = 0;
    std::string sha256;
    std::string problem; ///< why it could not be read; "" when it was
    std::uint64_t device = 0; ///< with the inode and the modification time, which file it was
    std::uint64_t inode = 0;
    long long modified = 0; ///< in nanoseconds
};

/// Reads the file at `path` once, in large pieces, for its size and SHA-256. A file that is not
/// a regular one is not read: its bytes could be read only once.
HashedFile hashFile(const std::string& path);

/// Whether the file at `path` still is the one `file` was read from, unchanged since.
bool isUnchanged(const std::string& path, const HashedFile& file);

/// A face list file of a dataset as it stands now.
struct ListFileNow {
    std::string path; ///< as the dataset walk names it
    std::string name; ///< under data/, such as "force/loads.txt"
    DatasetFileKind kind = DatasetFileKind::force;
    bool read = false; ///< false when its bytes could not be read
    std::string sha256;
    std::vector<ListRecord> records; ///< exactly those the face list reader takes
};

/// Every face list file of the dataset at `root` (as named on the command line), in the order of
/// the walk. Throws as the walk does when a directory cannot be listed.
std::vector<ListFileNow> readListFiles(const std::string& root);

/// root + "/data/" + `name`, as the face files are named.
std::string dataFilePath(const std::string& root, const std::string& name);

/// The name of face N's face file under data/: "face<N>.brep".
std::string faceFileName(int number);

/// The numbers N of the entries data/face<N>.brep of the dataset at `root`, increasing: names
/// as a run writes them, without sign or leading zeros.
std::vector<int> findFaceFileNumbers(const std::string& root);

/// Whether what stands at `path` may be a face file that a run wrote: a regular file, not a
/// link, that begins as BRepTools::Write begins a file, or that cannot be read to tell.
bool mayBeFaceFile(const std::string& path);

/// What reading one of a dataset's own files found.
enum class FileReading { read, absent, failed };

/// Reads the regular file at `path` whole into `bytes`. `absent` when nothing stands at that
/// name, not even a link; `failed`, with `problem` saying why, for a link that leads nowhere,
/// anything that is not a regular file (never waiting on a pipe) and a read that fails.
FileReading readRegularFile(const std::string& path, std::string& bytes, std::string& problem);

/// The files of the record of a run of the dataset at `root`, both written as whole files: the
/// names a supervisor may find a temporary of.
std::vector<std::string> recordFilePaths(const std::string& root);

/// What a dataset's record of its last run says, if it has one.
struct RecordReading {
    bool exists = false;
    std::string problem; ///< why it cannot be read; "" when it was
    RunRecord record;
};

/// Reads data/last-run.tsv of the dataset at `root`. Only a name at which nothing stands is a
/// record that does not exist: a link that leads nowhere, a directory or a pipe there is one
/// that cannot be read.
RecordReading readRunRecord(const std::string& root);

/// The outline of the model that a record names, from the file beside the record.
struct RecordedOutline {
    bool read = false;   ///< it is there, whole, and the one recorded
    std::string problem; ///< why not
    ModelOutline outline;
};

/// Reads the outline that `record` names, beside it in the dataset at `root`.
RecordedOutline readRecordedOutline(const std::string& root, const RunRecord& record);

/// Writes the record, then the outline file, each as a whole file. Returns "" or why not.
std::string writeRunRecord(const std::string& root, const std::string& recordText,
                           const std::string& outlineText, RunState* state);
