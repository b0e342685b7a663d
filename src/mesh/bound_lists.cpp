#include "bound_lists.hpp"

#include "../follow/list_binding.hpp"
#include "../record/record_files.hpp"
#include "../record/record_keeping.hpp"

BoundLists checkBoundLists(const std::string& root, RunModel& model, const TopoDS_Shape& shape)
{
    BoundLists bound;
    if (std::string changed = settleRunModel(model, shape); !changed.empty()) {
        bound.problems.push_back(std::move(changed));
        return bound;
    }
    SampledModel sampled{&model, {}};
    const ListBinding binding =
        checkListBinding(root, readRunRecord(root), readListFiles(root), sampled);
    bound.problems = binding.problems;
    bound.notes = binding.notes;
    return bound;
}
