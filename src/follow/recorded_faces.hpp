#pragma once

#include "face_sampling.hpp"
#include "revision_match.hpp"

#include "../record/record_keeping.hpp"

#include <optional>
#include <string>
#include <vector>

/// The faces of the model at hand, sampled for matching once they are first needed.
struct SampledModel {
    RunModel* model = nullptr;
    std::optional<std::vector<SampledFace>> faces;
};

/// The sampled faces of the model, made once.
const std::vector<SampledFace>& sampledFacesOf(SampledModel& model);

/// What became of each of the old face `numbers` (increasing) in the model at hand, as the
/// matching of two revisions answers it, the old faces rebuilt from the face files of the last
/// run that `record` records for the dataset at `root`. A face whose face file is missing,
/// changed since or unreadable, or that the record does not name, is unsure for that reason;
/// so is every face when the outlines of the two whole models show the model moved or
/// replaced, or when the old one's outline cannot be read; and so is a face whose new face
/// covers more than it did. One answer per number, in order.
std::vector<FaceMatch> followRecordedFaces(const std::string& root, const RunRecord& record,
                                           const RecordedOutline& outline,
                                           const std::vector<int>& numbers,
                                           SampledModel& model);
