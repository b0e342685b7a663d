#pragma once

#include <string>
#include <vector>

#include <TopoDS_Shape.hxx>

struct RunModel;

/// What the check of a dataset's lists against the record of its last run says.
struct BoundLists {
    std::vector<std::string> problems; ///< one line per entry that is refused; none when all hold
    std::vector<std::string> notes;    ///< worth knowing, no error
};

/// Checks the lists of the dataset at `root` against the record of its last run, exactly as
/// tarnfold checks them before it writes a face file: a list that no longer names the faces it
/// was written for is refused. `model` is the model as taken in before the read, `shape` what
/// the read gave. Leaves the record as it is: a mesh is no run of tarnfold's. The one place where
/// tarnfold-mesh asks for the check.
BoundLists checkBoundLists(const std::string& root, RunModel& model, const TopoDS_Shape& shape);
