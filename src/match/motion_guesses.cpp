#include "motion_guesses.hpp"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <set>

namespace {

// An old face with more look-alikes than this in the new revision gives no basis to search by.
constexpr std::size_t crowded = 1024;
constexpr std::size_t mostHypotheses = 2048;
// Faces with at most this many look-alikes vote for the shifts they share with them.
constexpr std::size_t rare = 8;

const SampledFace& oldFace(const MotionFaces& faces, int o)
{
    return (*faces.oldFaces)[std::size_t(o)];
}

const SampledFace& newFace(const MotionFaces& faces, int n)
{
    return (*faces.newFaces)[std::size_t(n)];
}

// The new faces in order of area, to find the look-alikes of an old face among those of about
// its area.
struct AreaOrder {
    std::vector<int> byArea;
    double longest = 0; ///< the longest boundary of a new face
};

AreaOrder orderByArea(const MotionFaces& faces)
{
    const std::vector<SampledFace>& newFaces = *faces.newFaces;
    AreaOrder order;
    for (std::size_t n = 0; n < newFaces.size(); ++n) {
        order.byArea.push_back(int(n));
        order.longest = std::max(order.longest, newFaces[n].perimeter);
    }
    std::sort(order.byArea.begin(), order.byArea.end(), [&](int a, int b) {
        return newFaces[std::size_t(a)].area < newFaces[std::size_t(b)].area;
    });
    return order;
}

// How many new faces could be old face `o` moved, up to `crowded` and one more; with `found`,
// which they are too.
std::size_t findLookAlikes(const MotionFaces& faces, const AreaOrder& order, int o,
                           std::vector<int>* found = nullptr)
{
    const SampledFace& face = oldFace(faces, o);
    const double reach = faces.tolerance * (face.perimeter + order.longest) + 4e-6 * face.area;
    auto it = std::lower_bound(order.byArea.begin(), order.byArea.end(), face.area - reach,
                               [&](int n, double area) { return newFace(faces, n).area < area; });
    std::size_t count = 0;
    for (; it != order.byArea.end() && newFace(faces, *it).area <= face.area + reach; ++it) {
        if (!mayBeMovedCopy(faces, o, *it)) continue;
        if (found) found->push_back(*it);
        if (++count > crowded) break;
    }
    return count;
}

double distanceToLine(const gp_Pnt& p, const gp_Pnt& a, const gp_Pnt& b)
{
    const gp_Vec along(a, b);
    if (along.Magnitude() <= 0) return p.Distance(a);
    return gp_Vec(a, p).Crossed(along).Magnitude() / along.Magnitude();
}

// Up to three sets of up to three old faces each: those whose form is rarest in the new
// revision, spread as wide as they can be, so that matching them fixes a motion.
std::vector<std::vector<int>> chooseBases(const MotionFaces& faces,
                                          const std::vector<std::size_t>& counts)
{
    std::vector<int> pool;
    for (int o = 0; o < int(counts.size()); ++o) {
        if (counts[std::size_t(o)] >= 1 && counts[std::size_t(o)] <= crowded) pool.push_back(o);
    }
    std::sort(pool.begin(), pool.end(), [&](int a, int b) {
        const std::size_t ca = counts[std::size_t(a)], cb = counts[std::size_t(b)];
        return ca != cb ? ca < cb : oldFace(faces, a).area > oldFace(faces, b).area;
    });
    pool.resize(std::min<std::size_t>(pool.size(), 24));
    const double apart = 10 * faces.tolerance + 1e-4 * faces.size;
    std::vector<std::vector<int>> bases;
    while (!pool.empty() && bases.size() < 3) {
        std::vector<int> basis = {pool.front()};
        const gp_Pnt first = oldFace(faces, pool.front()).centre;
        int far = -1;
        double farthest = apart;
        for (const int o : pool) {
            const double d = oldFace(faces, o).centre.Distance(first);
            if (d > farthest) far = o, farthest = d;
        }
        if (far >= 0) {
            basis.push_back(far);
            const gp_Pnt second = oldFace(faces, far).centre;
            int off = -1;
            double offest = apart;
            for (const int o : pool) {
                const double d = distanceToLine(oldFace(faces, o).centre, first, second);
                if (d > offest) off = o, offest = d;
            }
            if (off >= 0) basis.push_back(off);
        }
        for (const int o : basis) pool.erase(std::find(pool.begin(), pool.end(), o));
        bases.push_back(basis);
    }
    return bases;
}

} // namespace

void addFacePairs(const MotionFaces& faces, int o, int n, std::vector<PointPair>& pairs)
{
    const gp_Pnt from = oldFace(faces, o).centre, to = newFace(faces, n).centre;
    pairs.push_back({from, to, 1});
    const gp_Vec a = faces.oldNormals[std::size_t(o)], b = faces.newNormals[std::size_t(n)];
    if (a.Magnitude() < facesOneWay) return;
    const double lever = std::max(faces.size / 4, 1.0);
    pairs.push_back({from.Translated(a * lever), to.Translated(b * lever), 1});
}

namespace {

// The point pairs of a basis, each way its motion can be fixed: as they are, or, when their old
// points lie on one line (the centres of a row of holes, one face and its normal), which leaves
// the turn about that line free, with a corner of a basis face off the line paired with each
// corner of its image in turn: the part may have gone by any of the turns that bring the
// corners onto corners, as a symmetric part fits in several.
std::vector<std::vector<PointPair>> tieTurnAboutLine(const MotionFaces& faces,
                                                     const std::vector<int>& basis,
                                                     const std::vector<int>& images,
                                                     const std::vector<PointPair>& pairs)
{
    const double apart = 10 * faces.tolerance + 1e-4 * faces.size;
    const gp_Pnt first = pairs.front().from;
    gp_Pnt far = first;
    for (const PointPair& pair : pairs) {
        if (pair.from.Distance(first) > far.Distance(first)) far = pair.from;
    }
    if (far.Distance(first) <= apart) return {pairs}; // a point: too little to tie a turn by
    for (const PointPair& pair : pairs) {
        if (distanceToLine(pair.from, first, far) > apart) return {pairs};
    }
    for (std::size_t k = 0; k < basis.size(); ++k) {
        for (const gp_Pnt& corner : oldFace(faces, basis[k]).vertices) {
            if (distanceToLine(corner, first, far) <= apart) continue;
            std::vector<std::vector<PointPair>> ways;
            for (const gp_Pnt& there : newFace(faces, images[k]).vertices) {
                ways.push_back(pairs);
                ways.back().push_back({corner, there, 1});
            }
            return ways;
        }
    }
    return {pairs};
}

// Every motion that carries the basis faces onto look-alikes at the same distances apart. A
// basis face none of whose look-alikes is left to it (two ends of a bar, one of them cut away,
// and one end alike to both) is passed over: the others may still fix the motion.
void enumerateBasis(const MotionFaces& faces, const std::map<int, std::vector<int>>& lookAlikes,
                    const std::vector<int>& basis, std::vector<gp_Trsf>& motions)
{
    const double slack = 2 * faces.tolerance;
    std::vector<int> images(basis.size(), -1);
    const auto fits = [&](std::size_t depth, int n) {
        for (std::size_t k = 0; k < depth; ++k) {
            if (images[k] < 0) continue;
            const double before =
                oldFace(faces, basis[k]).centre.Distance(oldFace(faces, basis[depth]).centre);
            const double after =
                newFace(faces, images[k]).centre.Distance(newFace(faces, n).centre);
            if (std::abs(before - after) > slack) return false;
        }
        return true;
    };
    const auto tryMotions = [&] {
        std::vector<int> placed, onto;
        std::vector<PointPair> pairs;
        for (std::size_t k = 0; k < basis.size(); ++k) {
            if (images[k] < 0) continue;
            placed.push_back(basis[k]);
            onto.push_back(images[k]);
            addFacePairs(faces, basis[k], images[k], pairs);
        }
        if (pairs.empty()) return;
        for (const std::vector<PointPair>& tied : tieTurnAboutLine(faces, placed, onto, pairs)) {
            const gp_Trsf motion = fitRigidMotion(tied);
            bool fit = true;
            for (std::size_t k = 0; k < placed.size() && fit; ++k) {
                const gp_Vec normal = faces.oldNormals[std::size_t(placed[k])];
                fit = oldFace(faces, placed[k]).centre.Transformed(motion).Distance(
                          newFace(faces, onto[k]).centre) <= slack &&
                      (normal.Magnitude() < facesOneWay ||
                       (normal.Transformed(motion) - faces.newNormals[std::size_t(onto[k])])
                               .Magnitude() <= 0.05);
            }
            if (fit) motions.push_back(motion);
        }
    };
    const std::function<void(std::size_t)> place = [&](std::size_t depth) {
        if (motions.size() >= mostHypotheses) return;
        if (depth == basis.size()) {
            tryMotions();
            return;
        }
        bool any = false;
        for (const int n : lookAlikes.at(basis[depth])) {
            if (std::find(images.begin(), images.begin() + long(depth), n) !=
                images.begin() + long(depth))
                continue;
            if (!fits(depth, n)) continue;
            images[depth] = n;
            any = true;
            place(depth + 1);
        }
        images[depth] = -1;
        if (!any) place(depth + 1);
    };
    place(0);
}

// Shifts that many old faces of a rare form share with a look-alike: a model moved without
// turning, found even where no three faces fix a motion.
void addCommonShifts(const MotionFaces& faces, const std::map<int, std::vector<int>>& lookAlikes,
                     std::vector<gp_Trsf>& motions)
{
    const double grid = std::max(4 * faces.tolerance, faces.cell);
    std::map<PointCell, std::set<int>> voters;
    std::map<PointCell, gp_Vec> shifts;
    for (const auto& [o, found] : lookAlikes) {
        if (found.size() > rare) continue;
        for (const int n : found) {
            const gp_Vec shift(oldFace(faces, o).centre, newFace(faces, n).centre);
            PointCell key;
            if (!findCell(gp_Pnt(shift.XYZ()), grid, key)) continue;
            voters[key].insert(o);
            shifts.emplace(key, shift);
        }
    }
    std::vector<std::pair<std::size_t, PointCell>> ranked;
    for (const auto& [key, who] : voters) {
        if (who.size() >= 3) ranked.push_back({who.size(), key});
    }
    std::sort(ranked.rbegin(), ranked.rend());
    for (std::size_t i = 0; i < ranked.size() && i < 3; ++i) {
        gp_Trsf shift;
        shift.SetTranslation(shifts[ranked[i].second]);
        motions.push_back(shift);
    }
}

} // namespace

std::vector<gp_Trsf> guessMotions(const MotionFaces& faces)
{
    // Counted for every old face; listed only for those a motion is guessed from, as a pattern
    // of thousands of equal faces would have thousands of look-alikes each.
    const AreaOrder order = orderByArea(faces);
    std::vector<std::size_t> counts;
    std::map<int, std::vector<int>> lookAlikes;
    for (int o = 0; o < int(faces.oldFaces->size()); ++o) {
        counts.push_back(findLookAlikes(faces, order, o));
        if (counts.back() <= rare) findLookAlikes(faces, order, o, &lookAlikes[o]);
    }
    const std::vector<std::vector<int>> bases = chooseBases(faces, counts);
    for (const std::vector<int>& basis : bases) {
        for (const int o : basis) {
            if (!lookAlikes.count(o)) findLookAlikes(faces, order, o, &lookAlikes[o]);
        }
    }
    std::vector<gp_Trsf> motions = {gp_Trsf()};
    for (const std::vector<int>& basis : bases) enumerateBasis(faces, lookAlikes, basis, motions);
    addCommonShifts(faces, lookAlikes, motions);
    return motions;
}
