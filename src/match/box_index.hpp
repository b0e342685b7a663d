#pragma once

#include <vector>

#include <Bnd_Box.hxx>

/// An index over boxes that finds every one a given box meets: a grid of cells over their
/// bounds, each cell listing the boxes that reach into it. (OCCT 7.6's Bnd_BoundSortBox misses
/// boxes when their bounds are flat, as a sheet's are.)
struct BoxIndex {
    std::vector<Bnd_Box> boxes;
    double origin[3] = {0, 0, 0};
    double cell = 1;                   ///< the width of a cell along every axis
    int counts[3] = {1, 1, 1};         ///< cells along each axis
    std::vector<std::vector<int>> cells;
};

/// An index over `boxes`; a void box is found by no query.
BoxIndex indexBoxes(const std::vector<Bnd_Box>& boxes);

/// The positions in the indexed boxes of those that `box` meets, in increasing order.
std::vector<int> findMeetingBoxes(const BoxIndex& index, const Bnd_Box& box);
