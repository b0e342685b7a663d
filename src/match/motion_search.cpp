#include "motion_search.hpp"

#include "motion_guesses.hpp"
#include "rigid_fit.hpp"

#include <algorithm>
#include <cmath>

namespace {

// Motions weighed in full, after a first look over the largest faces.
constexpr std::size_t mostWeighed = 16;
// A candidate whose matched faces keep their surfaces' parameters over at least this share of
// their area follows its frames.
constexpr double framesFollow = 0.9;

// Whether two motions put the corners of the old revision's bounds in the same places.
bool sameMotion(const gp_Trsf& a, const gp_Trsf& b, const std::vector<gp_Pnt>& corners,
                double tolerance)
{
    return std::all_of(corners.begin(), corners.end(), [&](const gp_Pnt& p) {
        return p.Transformed(a).Distance(p.Transformed(b)) <= tolerance;
    });
}

// The motion made exact over every face it fits: their centres and corners.
gp_Trsf refineMotion(const MotionFaces& faces, const MotionScore& score, const gp_Trsf& motion)
{
    std::vector<PointPair> pairs;
    for (int o = 0; o < int(score.images.size()); ++o) {
        const int n = score.images[std::size_t(o)];
        if (n < 0) continue;
        addFacePairs(faces, o, n, pairs);
        for (const gp_Pnt& corner : (*faces.oldFaces)[std::size_t(o)].vertices) {
            const gp_Pnt moved = corner.Transformed(motion);
            for (const gp_Pnt& there : (*faces.newFaces)[std::size_t(n)].vertices) {
                if (moved.Distance(there) <= faces.tolerance) pairs.push_back({corner, there, 1});
            }
        }
    }
    return pairs.size() >= 3 ? fitRigidMotion(pairs) : motion;
}

// The motions that differ, each first of those that put the bounds' corners in one place; the
// motions are filed by where they put the first corner, so that only neighbours are compared.
std::vector<gp_Trsf> keepDistinct(const std::vector<gp_Trsf>& motions,
                                  const std::vector<gp_Pnt>& corners, const MotionFaces& faces)
{
    if (corners.empty()) return {motions.front()};
    const double cell = std::max(4 * faces.tolerance, faces.cell);
    std::unordered_map<PointCell, std::vector<std::size_t>, PointCellHash> filed;
    std::vector<gp_Trsf> distinct;
    for (const gp_Trsf& motion : motions) {
        const gp_Pnt at = corners.front().Transformed(motion);
        PointCell key;
        if (!findCell(at, cell, key)) continue;
        bool seen = false;
        for (long long dx = -1; dx <= 1 && !seen; ++dx) {
            for (long long dy = -1; dy <= 1 && !seen; ++dy) {
                for (long long dz = -1; dz <= 1 && !seen; ++dz) {
                    const auto found = filed.find({key[0] + dx, key[1] + dy, key[2] + dz});
                    if (found == filed.end()) continue;
                    for (const std::size_t i : found->second) {
                        seen = seen || sameMotion(motion, distinct[i], corners, faces.tolerance);
                    }
                }
            }
        }
        if (seen) continue;
        filed[key].push_back(distinct.size());
        distinct.push_back(motion);
    }
    return distinct;
}

// The turns that carry the old revision onto itself, every face onto one of its form, the
// identity aside: a symmetric part's. Where the faces a motion was guessed from look alike in
// several places, the search may find one of the ways the part fits and miss the others, which
// are that way followed by one of these turns.
std::vector<gp_Trsf> findSymmetries(const std::vector<SampledFace>& oldFaces, double tolerance,
                                    const std::vector<gp_Pnt>& corners)
{
    MotionFaces self = prepareMotionFaces(oldFaces, oldFaces, tolerance);
    const std::vector<gp_Trsf> guessed = keepDistinct(guessMotions(self), corners, self);
    // A glance at the largest faces first, each of which a symmetry must carry onto another.
    std::vector<int> largest(oldFaces.size());
    for (std::size_t o = 0; o < largest.size(); ++o) largest[o] = int(o);
    std::sort(largest.begin(), largest.end(), [&](int a, int b) {
        return oldFaces[std::size_t(a)].area > oldFaces[std::size_t(b)].area;
    });
    largest.resize(std::min<std::size_t>(largest.size(), 16));
    std::vector<gp_Trsf> symmetries;
    for (std::size_t i = 1; i < guessed.size(); ++i) { // the first is the identity
        const std::vector<int> images = scoreMotion(self, guessed[i], false, largest).images;
        if (std::any_of(largest.begin(), largest.end(),
                        [&](int o) { return images[std::size_t(o)] < 0; })) {
            continue;
        }
        if (scoreMotion(self, guessed[i], false).misfits == 0) symmetries.push_back(guessed[i]);
    }
    return symmetries;
}

} // namespace

std::vector<MotionCandidate> findMotionCandidates(MotionFaces& faces)
{
    const std::vector<SampledFace>& oldFaces = *faces.oldFaces;
    const std::vector<gp_Trsf> motions = guessMotions(faces);

    Bnd_Box bounds;
    for (const SampledFace& face : oldFaces) bounds.Add(face.box);
    std::vector<gp_Pnt> corners;
    if (!bounds.IsVoid()) {
        double x[2], y[2], z[2];
        bounds.Get(x[0], y[0], z[0], x[1], y[1], z[1]);
        for (int i = 0; i < 8; ++i) {
            corners.emplace_back(x[i & 1], y[(i >> 1) & 1], z[(i >> 2) & 1]);
        }
    }
    const std::vector<gp_Trsf> distinct = keepDistinct(motions, corners, faces);

    // A first look over the largest faces, as many as the number of motions allows.
    std::vector<int> largest(oldFaces.size());
    double total = 0;
    for (std::size_t o = 0; o < largest.size(); ++o) {
        largest[o] = int(o);
        total += oldFaces[o].area;
    }
    std::sort(largest.begin(), largest.end(), [&](int a, int b) {
        return oldFaces[std::size_t(a)].area > oldFaces[std::size_t(b)].area;
    });
    largest.resize(std::min(largest.size(), std::max<std::size_t>(64, 400000 / distinct.size())));
    std::vector<std::pair<double, std::size_t>> glances;
    for (std::size_t i = 1; i < distinct.size(); ++i) {
        glances.push_back({scoreMotion(faces, distinct[i], false, largest).fitted, i});
    }
    std::sort(glances.rbegin(), glances.rend());
    const double best = glances.empty() ? 0 : glances.front().first;

    // The most promising made exact, each with the other ways a symmetric part fits as well
    // (the identity's among them), and weighed over every face, by centres and corners alone.
    const std::vector<gp_Trsf> symmetries =
        findSymmetries(oldFaces, faces.tolerance, corners);
    std::vector<gp_Trsf> found = symmetries;
    for (std::size_t k = 0; k < glances.size() && k < mostWeighed; ++k) {
        if (!(glances[k].first > 0) || glances[k].first < 0.25 * best) break;
        gp_Trsf motion = distinct[glances[k].second];
        motion = refineMotion(faces, scoreMotion(faces, motion, false), motion);
        found.push_back(motion);
        for (const gp_Trsf& turn : symmetries) found.push_back(motion.Multiplied(turn));
    }
    std::vector<MotionCandidate> rough;
    for (const gp_Trsf& motion : found) {
        if (sameMotion(motion, gp_Trsf(), corners, faces.tolerance)) continue;
        const bool seen = std::any_of(rough.begin(), rough.end(), [&](const MotionCandidate& c) {
            return sameMotion(motion, c.motion, corners, faces.tolerance);
        });
        if (!seen) rough.push_back({motion, scoreMotion(faces, motion, false), false});
    }
    std::sort(rough.begin(), rough.end(), [](const MotionCandidate& a, const MotionCandidate& b) {
        return explainsBetter(a.score, b.score);
    });

    // Samples placed where it can matter: the identity and the best, then any other that could
    // still fit as much as the best once what the best leaves is counted for it, or whose
    // frames would count against the best's.
    std::vector<MotionCandidate> candidates;
    candidates.push_back({gp_Trsf(), scoreMotion(faces, gp_Trsf(), true), true});
    std::size_t leader = 0;
    for (std::size_t k = 0; k < rough.size(); ++k) {
        // Placing samples only ever finds fewer faces that fit: a rough score that cannot rival
        // the leader's stays so.
        const bool couldRival = mayRival(rough[k].score, candidates[leader].score);
        const bool framesCount =
            !followsFrames(candidates[leader]) && rough[k].score.fitted >= substantialFit * total;
        if (k > 0 && !couldRival && !framesCount) continue;
        MotionCandidate candidate{rough[k].motion, scoreMotion(faces, rough[k].motion, true),
                                  false};
        // One face carried onto a look-alike says nothing of the model as a whole.
        const std::vector<int>& images = candidate.score.images;
        if (images.size() - std::size_t(std::count(images.begin(), images.end(), -1)) < 2) {
            continue;
        }
        candidates.push_back(std::move(candidate));
        if (explainsBetter(candidates.back().score, candidates[leader].score)) {
            leader = candidates.size() - 1;
        }
    }
    return candidates;
}

bool mayRival(const MotionScore& other, const MotionScore& best)
{
    return other.fitted > 0 && other.misfits <= 2 * best.misfits + 2;
}

bool explainsBetter(const MotionScore& a, const MotionScore& b)
{
    return a.misfits != b.misfits ? a.misfits < b.misfits : a.fitted > b.fitted;
}

bool followsFrames(const MotionCandidate& candidate)
{
    return candidate.score.fitted > 0 &&
           candidate.score.framed >= framesFollow * candidate.score.fitted;
}
