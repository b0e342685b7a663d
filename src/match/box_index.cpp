#include "box_index.hpp"

#include <algorithm>
#include <cmath>

namespace {

// The cells that the box spans along each axis, first and last, clamped to the grid.
void spanCells(const BoxIndex& index, const Bnd_Box& box, int first[3], int last[3])
{
    double low[3], high[3];
    box.Get(low[0], low[1], low[2], high[0], high[1], high[2]);
    for (int axis = 0; axis < 3; ++axis) {
        const double from = (low[axis] - index.origin[axis]) / index.cell;
        const double to = (high[axis] - index.origin[axis]) / index.cell;
        const int most = index.counts[axis] - 1;
        first[axis] = from <= 0 ? 0 : from >= most ? most : int(from);
        last[axis] = to <= 0 ? 0 : to >= most ? most : int(to);
    }
}

int cellAt(const BoxIndex& index, int x, int y, int z)
{
    return (z * index.counts[1] + y) * index.counts[0] + x;
}

} // namespace

BoxIndex indexBoxes(const std::vector<Bnd_Box>& boxes)
{
    BoxIndex index;
    index.boxes = boxes;
    Bnd_Box whole;
    for (const Bnd_Box& box : boxes) whole.Add(box);
    if (whole.IsVoid()) return index;
    double low[3], high[3];
    whole.Get(low[0], low[1], low[2], high[0], high[1], high[2]);
    // About two cells per box, the cell as wide along a flat axis as along the others: an axis
    // narrower than a cell gets one, and the others share the cells among them.
    const double wanted = 2.0 * double(boxes.size());
    bool single[3] = {false, false, false};
    for (int round = 0; round < 3; ++round) {
        double measure = 1;
        int axes = 0;
        for (int axis = 0; axis < 3; ++axis) {
            if (single[axis]) continue;
            measure *= high[axis] - low[axis];
            ++axes;
        }
        index.cell = axes == 0 || !(measure > 0) ? 0 : std::pow(measure / wanted, 1.0 / axes);
        bool changed = false;
        for (int axis = 0; axis < 3; ++axis) {
            if (!single[axis] && !(high[axis] - low[axis] > index.cell)) {
                single[axis] = changed = true;
            }
        }
        if (!changed) break;
    }
    if (!(index.cell > 0))
        index.cell = std::max({high[0] - low[0], high[1] - low[1], high[2] - low[2], 1.0});
    for (int axis = 0; axis < 3; ++axis) {
        index.origin[axis] = low[axis];
        const double count = std::ceil((high[axis] - low[axis]) / index.cell);
        index.counts[axis] = int(std::clamp(count, 1.0, 1024.0));
    }
    index.cells.resize(std::size_t(index.counts[0]) * index.counts[1] * index.counts[2]);
    for (int i = 0; i < int(boxes.size()); ++i) {
        if (boxes[i].IsVoid()) continue;
        int first[3], last[3];
        spanCells(index, boxes[i], first, last);
        for (int z = first[2]; z <= last[2]; ++z) {
            for (int y = first[1]; y <= last[1]; ++y) {
                for (int x = first[0]; x <= last[0]; ++x) {
                    index.cells[cellAt(index, x, y, z)].push_back(i);
                }
            }
        }
    }
    return index;
}

std::vector<int> findMeetingBoxes(const BoxIndex& index, const Bnd_Box& box)
{
    std::vector<int> found;
    if (box.IsVoid() || index.cells.empty()) return found;
    int first[3], last[3];
    spanCells(index, box, first, last);
    for (int z = first[2]; z <= last[2]; ++z) {
        for (int y = first[1]; y <= last[1]; ++y) {
            for (int x = first[0]; x <= last[0]; ++x) {
                for (const int i : index.cells[cellAt(index, x, y, z)]) {
                    if (!index.boxes[i].IsOut(box)) found.push_back(i);
                }
            }
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}
