#pragma once

#include "batch_support.hpp"
#include "revisions.hpp"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

/// A dataset run once by tarnfold on one revision of its model, whose next revision is then
/// written over the model file, as users save a revised part.
class BoundListsTest : public TempDirTest {
protected:
    /// The dataset dir/set on revision.before, run once; then revision.after written over its
    /// model file, dir/parts/model.step.
    void runThenRevise(const Revision& revision, const std::string& force,
                       const std::string& restraint);

    /// The dataset's data directory.
    std::filesystem::path data() const { return root / "data"; }

    /// tarnfold-faces on the dataset with `options`.
    ToolRun faces(std::vector<std::string> options) const;

    /// Every file of data/ with its bytes, each given a time well in the past, so that a run
    /// that touches one shows.
    std::map<std::string, std::string> settle() const;

    /// Fails for any file of data/ added, removed, changed or touched since settle().
    void expectUntouched(const std::map<std::string, std::string>& before) const;

    std::filesystem::path root, model;
};

/// The drilled box: faces 3 and 6 are now 2 and 3, face 2 is 6, face 4 keeps its number.
Revision drilled();

/// The numbers of the faces of `shape` that lie on cylinders.
std::vector<int> cylinderFaces(const TopoDS_Shape& shape);

/// The value of a key line of a record's text, "" when it has none.
std::string recordValue(const std::string& record, const std::string& key);
