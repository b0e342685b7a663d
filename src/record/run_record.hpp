#pragma once

#include "../intake/face_list.hpp"

#include <cstdint>
#include <string>
#include <vector>

/// The record's name in a dataset's data directory; scripts rely on it.
constexpr const char* recordFileName = "last-run.tsv";

/// The name, beside the record, of the outline of the whole model the record was made for.
constexpr const char* outlineFileName = "last-run-model.tsv";

/// A face list file as a record names it.
struct RecordedList {
    std::string name;   ///< its path under data/, such as "force/loads.txt"
    std::string sha256; ///< of its bytes
};

/// A listed face as a record names it.
struct RecordedFace {
    int number = 0;
    FaceList list = FaceList::none;
    std::vector<int> visits; ///< every number of this face in this orientation, its own included
    std::string file;        ///< its face file's name under data/
    std::string sha256;      ///< of its face file's bytes, as the run wrote them
};

/// What a run of tarnfold leaves in data/last-run.tsv: the model its lists were run on, each
/// list file, and each face they named, so that a later run can tell whether the lists still
/// name those faces.
struct RunRecord {
    std::string toolVersion;    ///< tarnfold's
    std::string libraryVersion; ///< OpenCASCADE's
    std::string modelPath;      ///< as address.txt gives it
    std::uint64_t modelSize = 0;
    std::string modelSha256;
    int modelFaces = 0;         ///< face visits of the model
    std::string outlineSha256;  ///< of the outline file beside the record
    std::vector<RecordedList> lists; ///< sorted by name
    std::vector<RecordedFace> faces; ///< in increasing number
};

/// The record as the text of its file: key<TAB>value lines, then a header line and one row per
/// listed face. Names and the model path are escaped as table fields.
std::string formatRunRecord(const RunRecord& record);

/// Reads the text of a record file into `record`. Returns "" or, for text that formatRunRecord
/// did not write, why, with the line.
std::string parseRunRecord(const std::string& text, RunRecord& record);

/// The face list that the record names `listName` by, or null.
const RecordedList* findRecordedList(const RunRecord& record, const std::string& listName);

/// The recorded face numbered `number`, or null.
const RecordedFace* findRecordedFace(const RunRecord& record, int number);
