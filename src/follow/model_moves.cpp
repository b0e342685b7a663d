#include "model_moves.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <map>
#include <set>

#include <Precision.hxx>

namespace {

// A shift, rounded to a grid a few tolerances wide, so that equal shifts fall together.
using ShiftKey = std::array<long long, 3>;

// The grid cell of `shift`; false when the shift is too long for the grid to number its cells.
bool findShiftKey(const gp_Vec& shift, double grid, ShiftKey& key)
{
    // Far within what a long long holds, so that a cell's neighbours can be numbered too.
    constexpr double farthest = 1e15;
    for (int i = 0; i < 3; ++i) {
        const double cell = shift.Coord(i + 1) / grid;
        if (!(std::abs(cell) <= farthest)) return false;
        key[std::size_t(i)] = std::llround(cell);
    }
    return true;
}

std::array<double, 3> extentsOf(const Bnd_Box& box)
{
    double x0 = 0, y0 = 0, z0 = 0, x1 = 0, y1 = 0, z1 = 0;
    if (box.IsVoid()) return {0, 0, 0};
    box.Get(x0, y0, z0, x1, y1, z1);
    return {x1 - x0, y1 - y0, z1 - z0};
}

// Whether `b` may be `a` moved: the same kind of surface, the same area and the same extents.
bool mayBeShiftedCopy(const SampledFace& a, const SampledFace& b, double tolerance)
{
    if (a.type != b.type) return false;
    const double areaTolerance =
        tolerance * (a.perimeter + b.perimeter) + 1e-6 * std::max(a.area, b.area);
    if (std::abs(a.area - b.area) > areaTolerance) return false;
    const std::array<double, 3> ea = extentsOf(a.box), eb = extentsOf(b.box);
    for (int i = 0; i < 3; ++i) {
        if (std::abs(ea[i] - eb[i]) > 2 * tolerance) return false;
    }
    return true;
}

std::string describeShift(const gp_Vec& shift)
{
    std::string text = "(";
    for (int i = 1; i <= 3; ++i) {
        double value = shift.Coord(i);
        if (std::abs(value) < 1e-9) value = 0;
        char digits[32];
        const auto end =
            std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 6).ptr;
        text += std::string(i == 1 ? "" : ", ") + std::string(digits, end);
    }
    return text + ")";
}

// Why the new revision looks like the old one moved: the shift shared by the most old faces
// that have a copy there, when they outnumber the faces that stayed in place. "" when not.
std::string findCommonShift(const std::vector<SampledFace>& oldFaces,
                            const std::vector<SampledFace>& newFaces,
                            const MatchTolerance& tolerance, const std::vector<FaceAnswer>& answers)
{
    double loosest = 0;
    for (const auto* faces : {&oldFaces, &newFaces}) {
        for (const SampledFace& face : *faces) loosest = std::max(loosest, face.tolerance);
    }
    const double t = pairTolerance(tolerance, loosest, loosest);
    // At no tolerance (a model of no size) shifts are still only as exact as the arithmetic.
    const double grid = std::max(4 * t, Precision::Confusion());

    std::vector<int> byArea(newFaces.size());
    for (std::size_t i = 0; i < byArea.size(); ++i) byArea[i] = int(i);
    std::sort(byArea.begin(), byArea.end(),
              [&](int a, int b) { return newFaces[a].area < newFaces[b].area; });

    int inPlace = 0;
    std::map<ShiftKey, std::set<int>> voters;
    std::map<ShiftKey, gp_Vec> shifts;
    for (std::size_t o = 0; o < oldFaces.size(); ++o) {
        if (answers[o].kind == MatchKind::same) {
            ++inPlace;
            continue;
        }
        const SampledFace& oldFace = oldFaces[o];
        const double reach = t * 2 * (oldFace.perimeter + 1) + 1e-6 * oldFace.area;
        auto first = std::lower_bound(byArea.begin(), byArea.end(), oldFace.area - reach,
                                      [&](int n, double area) { return newFaces[n].area < area; });
        for (auto it = first; it != byArea.end() && newFaces[*it].area <= oldFace.area + reach;
             ++it) {
            if (!mayBeShiftedCopy(oldFace, newFaces[*it], t)) continue;
            const gp_Vec shift(oldFace.centre, newFaces[*it].centre);
            if (shift.Magnitude() <= t) continue;
            ShiftKey key;
            if (!findShiftKey(shift, grid, key)) continue;
            voters[key].insert(int(o));
            shifts.emplace(key, shift);
        }
    }

    std::size_t best = 0;
    gp_Vec bestShift;
    for (const auto& [key, faces] : voters) {
        // A shift near the edge of a grid cell may have fallen into a neighbour.
        std::set<int> near;
        for (long long dx = -1; dx <= 1; ++dx) {
            for (long long dy = -1; dy <= 1; ++dy) {
                for (long long dz = -1; dz <= 1; ++dz) {
                    const auto found = voters.find({key[0] + dx, key[1] + dy, key[2] + dz});
                    if (found == voters.end()) continue;
                    near.insert(found->second.begin(), found->second.end());
                }
            }
        }
        if (near.size() > best) {
            best = near.size();
            bestShift = shifts[key];
        }
    }
    if (best < 3 || int(best) <= inPlace) return {};
    return std::to_string(best) + " old faces reappear moved by " + describeShift(bestShift) +
           ", more than stay in place: the model looks moved, and a face may now stand where "
           "another was";
}

} // namespace

void doubtMovedModel(const std::vector<SampledFace>& oldFaces,
                     const std::vector<SampledFace>& newFaces, const MatchTolerance& tolerance,
                     std::vector<FaceAnswer>& answers)
{
    double total = 0, kept = 0;
    for (std::size_t o = 0; o < oldFaces.size(); ++o) {
        total += oldFaces[o].area;
        kept += oldFaces[o].area * std::min(answers[o].kept, 1.0);
    }
    std::string reason;
    if (total > 0 && kept < 0.5 * total) {
        reason = "only " + std::to_string(int(std::lround(100 * kept / total))) +
                 "% of the old model's area lies where it was: the model looks moved or replaced";
    } else {
        reason = findCommonShift(oldFaces, newFaces, tolerance, answers);
    }
    if (reason.empty()) return;
    for (FaceAnswer& answer : answers) {
        if (!isCertain(answer.kind)) continue;
        answer.kind = MatchKind::unsure;
        answer.reason = reason;
    }
}
