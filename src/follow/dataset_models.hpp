#pragma once

#include "follow_revision.hpp"

#include <ostream>
#include <string>
#include <vector>

#include <STEPControl_Reader.hxx>
#include <TopoDS_Shape.hxx>

struct RunModel;
struct RunState;

/// The datasets still to follow, grouped by the model file each names, so that each file is
/// read once: groups in the order of their first dataset, datasets in the order given. A
/// dataset whose model cannot be looked at, or that names none, is a group of its own, so that
/// reading it says why as it would alone.
std::vector<std::vector<FollowedDataset*>> groupByModelFile(std::vector<FollowedDataset>& datasets);

/// Reads the model that the datasets of `group` share into `model` (taking its bytes in first
/// when `takeFile`, for a record to name them) through `reader`, with the progress line of
/// `state`. Returns "" or the one problem that keeps every dataset of the group from being
/// followed. The note on the transfer's other shapes is printed on `err` after `notePrefix`.
std::string readGroupModel(const std::vector<FollowedDataset*>& group, bool takeFile,
                           const std::string& notePrefix, RunModel& model,
                           STEPControl_Reader& reader, RunState* state, std::ostream& err);

/// Reports `problem` on `err` once for all the datasets of `group`, each marked as not complete.
void reportGroupProblem(const std::vector<FollowedDataset*>& group, const std::string& problem,
                        std::ostream& err);

/// What a note about the model of `group` begins with: with several datasets, the model's
/// path, for a reader to know which model it is about; "" otherwise.
std::string modelNotePrefix(const std::vector<FollowedDataset*>& group, bool several);
