#include "outline_moves.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <set>
#include <unordered_set>

namespace {

using CellKey = std::array<long long, 3>;

// The cell of a grid `cell` wide that holds `point`; false far out, where the grid's numbers
// would overflow.
bool cellOf(const std::array<double, 3>& point, double cell, CellKey& key)
{
    for (int i = 0; i < 3; ++i) {
        const double k = std::floor(point[std::size_t(i)] / cell);
        if (!(std::abs(k) < 1e15)) return false;
        key[std::size_t(i)] = static_cast<long long>(k);
    }
    return true;
}

struct CellHash {
    std::size_t operator()(const CellKey& key) const
    {
        return std::hash<long long>()(key[0] * 73856093LL ^ key[1] * 19349663LL ^
                                      key[2] * 83492791LL);
    }
};

// The share of the old outline's vertices that have a vertex of the new model within `t`.
double shareOfVerticesInPlace(const ModelOutline& oldOutline, const ModelOutline& newOutline,
                              double t)
{
    if (oldOutline.vertices.empty()) return 1;
    const double cell = 2 * t;
    std::unordered_set<CellKey, CellHash> occupied;
    for (const std::array<double, 3>& vertex : newOutline.vertices) {
        CellKey key;
        if (cellOf(vertex, cell, key)) occupied.insert(key);
    }
    std::size_t inPlace = 0;
    for (const std::array<double, 3>& vertex : oldOutline.vertices) {
        CellKey key;
        if (!cellOf(vertex, cell, key)) continue;
        bool found = false;
        // A point within t of this one lies in this cell or a neighbour.
        for (long long dx = -1; dx <= 1 && !found; ++dx) {
            for (long long dy = -1; dy <= 1 && !found; ++dy) {
                for (long long dz = -1; dz <= 1 && !found; ++dz) {
                    found = occupied.count({key[0] + dx, key[1] + dy, key[2] + dz}) > 0;
                }
            }
        }
        if (found) ++inPlace;
    }
    return double(inPlace) / double(oldOutline.vertices.size());
}

std::array<double, 3> extentsOf(const FaceOutline& face)
{
    return {face.box[3] - face.box[0], face.box[4] - face.box[1], face.box[5] - face.box[2]};
}

bool sameBox(const FaceOutline& a, const FaceOutline& b, double t)
{
    for (std::size_t i = 0; i < 6; ++i) {
        if (std::abs(a.box[i] - b.box[i]) > t) return false;
    }
    return true;
}

std::string describeShift(const std::array<double, 3>& shift)
{
    std::string text = "(";
    for (std::size_t i = 0; i < 3; ++i) {
        double value = shift[i];
        if (std::abs(value) < 1e-9) value = 0;
        char digits[32];
        const auto end =
            std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 6).ptr;
        text += std::string(i == 0 ? "" : ", ") + std::string(digits, end);
    }
    return text + ")";
}

// The shift shared by the most old faces that have a copy there, when they outnumber the old
// faces that stayed in place, as the matching looks for it among its faces.
std::string findCommonShift(const ModelOutline& oldOutline, const ModelOutline& newOutline,
                            double t)
{
    // A copy has the same kind of surface and as many ends; within those, it is looked for by
    // the width of its ends' box.
    std::map<std::pair<int, int>, std::vector<const FaceOutline*>> kinds;
    for (const FaceOutline& face : newOutline.faces) {
        if (face.vertexVisits > 0) kinds[{face.type, face.vertexVisits}].push_back(&face);
    }
    for (auto& [kind, faces] : kinds) {
        std::sort(faces.begin(), faces.end(), [](const FaceOutline* a, const FaceOutline* b) {
            return extentsOf(*a)[0] < extentsOf(*b)[0];
        });
    }
    const double grid = 4 * t;
    int inPlace = 0;
    std::map<CellKey, std::set<int>> voters;
    std::map<CellKey, std::array<double, 3>> shifts;
    for (std::size_t o = 0; o < oldOutline.faces.size(); ++o) {
        const FaceOutline& oldFace = oldOutline.faces[o];
        const auto kind = kinds.find({oldFace.type, oldFace.vertexVisits});
        if (oldFace.vertexVisits == 0 || kind == kinds.end()) continue;
        const std::vector<const FaceOutline*>& faces = kind->second;
        if (std::any_of(faces.begin(), faces.end(),
                        [&](const FaceOutline* f) { return sameBox(oldFace, *f, t); })) {
            ++inPlace;
            continue;
        }
        const std::array<double, 3> extents = extentsOf(oldFace);
        auto first = std::lower_bound(faces.begin(), faces.end(), extents[0] - 2 * t,
                                      [](const FaceOutline* f, double width) {
                                          return extentsOf(*f)[0] < width;
                                      });
        for (auto it = first; it != faces.end() && extentsOf(**it)[0] <= extents[0] + 2 * t;
             ++it) {
            const std::array<double, 3> other = extentsOf(**it);
            if (std::abs(other[1] - extents[1]) > 2 * t || std::abs(other[2] - extents[2]) > 2 * t) {
                continue;
            }
            std::array<double, 3> shift{};
            for (std::size_t i = 0; i < 3; ++i) {
                shift[i] = ((*it)->box[i] + (*it)->box[i + 3] - oldFace.box[i] - oldFace.box[i + 3]) / 2;
            }
            if (std::sqrt(shift[0] * shift[0] + shift[1] * shift[1] + shift[2] * shift[2]) <= t) {
                continue;
            }
            CellKey key;
            if (!cellOf({shift[0] + grid / 2, shift[1] + grid / 2, shift[2] + grid / 2}, grid, key)) {
                continue;
            }
            voters[key].insert(int(o));
            shifts.emplace(key, shift);
        }
    }

    std::size_t best = 0;
    std::array<double, 3> bestShift{};
    for (const auto& [key, faces] : voters) {
        // A shift near the edge of a grid cell may have fallen into a neighbour.
        std::set<int> near;
        for (long long dx = -1; dx <= 1; ++dx) {
            for (long long dy = -1; dy <= 1; ++dy) {
                for (long long dz = -1; dz <= 1; ++dz) {
                    const auto found = voters.find({key[0] + dx, key[1] + dy, key[2] + dz});
                    if (found != voters.end()) near.insert(found->second.begin(), found->second.end());
                }
            }
        }
        if (near.size() > best) {
            best = near.size();
            bestShift = shifts[key];
        }
    }
    if (best < 3 || int(best) <= inPlace) return {};
    return std::to_string(best) + " faces of the old model's outline reappear moved by " +
           describeShift(bestShift) +
           ", more than stay in place: the model looks moved, and a face may now stand where "
           "another was";
}

} // namespace

std::string findOutlineMove(const ModelOutline& oldOutline, const ModelOutline& newOutline,
                            const MatchTolerance& tolerance)
{
    const double loosest = std::max(oldOutline.tolerance, newOutline.tolerance);
    // Never zero: a grid of cells no wide would hold nothing.
    const double t = std::max(pairTolerance(tolerance, loosest, loosest), 1e-12);
    const double share = shareOfVerticesInPlace(oldOutline, newOutline, t);
    if (share < 0.5) {
        return "only " + std::to_string(int(std::lround(100 * share))) +
               "% of the old model's vertices lie where they were: the model looks moved or "
               "replaced";
    }
    return findCommonShift(oldOutline, newOutline, t);
}
