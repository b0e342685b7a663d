#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <gp_Pnt.hxx>
#include <gp_XYZ.hxx>

/// The data of a page of tarnfold-faces --html, decoded by the test's own code.
struct PageData {
    std::string json; ///< the data object as the page holds it
    gp_XYZ low, high; ///< the box over which positions are quantised
    int indexBytes = 0;
    std::map<std::string, std::string> sections; ///< the inflated bytes of each section
};

/// Finds the data object in `page`, reads its fields and inflates its sections.
PageData readPageData(const std::string& page);

/// Unsigned little-endian numbers of `width` bytes each.
std::vector<std::uint32_t> readNumbers(const std::string& bytes, int width);

/// The nodes in model units.
std::vector<gp_Pnt> readNodes(const PageData& data);
