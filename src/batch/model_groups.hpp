#pragma once

#include "batch_dataset.hpp"

#include <ostream>
#include <string>
#include <vector>

/// Walks the dataset at `root` as tarnfold walks it. A dataset that cannot be walked, or names
/// no model, comes back failed, with the line tarnfold prints for it.
BatchDataset walkBatchDataset(const std::string& root);

/// Groups the pending datasets by the file their model path names: device and inode, size and
/// modification time, taken once for each path. A dataset whose model path cannot be looked at
/// fails on its own, with the line tarnfold prints for it. Groups come in input order.
std::vector<ModelGroup> groupByModel(std::vector<BatchDataset>& datasets);

/// Prints the "group dataset model" table of --list-groups: a group for each model, and one of
/// its own for each dataset that fails without one, numbered from 1 in input order.
void printGroups(const std::vector<BatchDataset>& datasets, const std::vector<ModelGroup>& groups,
                 std::ostream& out);
