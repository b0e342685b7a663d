#pragma once

#include "../match/face_sampling.hpp"
#include "../match/revision_match.hpp"

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

/// What became of each of the old face `numbers` (increasing) in the model at hand, the old
/// faces being those that `record` records for the dataset at `root`. A face whose face file
/// would be byte for byte the recorded one is the same face under the same number. Any other is
/// rebuilt from its face file of the last run and found by the matching of two revisions, by
/// place alone: a face whose face file is missing, changed since or unreadable, or that the
/// record does not name, is unsure for that reason; so is a face whose new face covers more than
/// it did; and, with `guardMoves`, so is every face when the outline of the whole old model
/// (beside the record) shows the model moved or replaced, or cannot be read. One answer per
/// number, in order.
std::vector<FaceMatch> followRecordedFaces(const std::string& root, const RunRecord& record,
                                           const std::vector<int>& numbers, SampledModel& model,
                                           bool guardMoves = true);

/// How `answer` tells that old face `number` is no longer face `number`: "it is face 9 now",
/// "it cannot be told: ..."; "" when it still is.
std::string describeFaceAnswer(int number, const FaceMatch& answer);
