#pragma once

#include "motion_fit.hpp"

#include <vector>

#include <gp_Trsf.hxx>

/// A rigid motion that may carry the old revision onto the new one, and how well it does.
struct MotionCandidate {
    gp_Trsf motion; ///< from the old revision's coordinates to the new one's
    MotionScore score;
    bool identity = false; ///< the revisions lie where they were
};

/// A candidate that explains at least this share of the old area is one whose frames count.
constexpr double substantialFit = 0.25;

/// Whether the faces that `candidate` matches keep their surfaces' parameters when moved so,
/// nearly all of them: a model moved in a CAD system moves its surfaces' frames with it.
bool followsFrames(const MotionCandidate& candidate);

/// Whether `other` (weighed over every face) explains the new revision nearly as simply as
/// `best`: it leaves no more than twice as many faces of either revision unexplained, and two
/// more. A revision that changed a few faces can make a symmetric part, or a row of equal
/// features, look moved onto itself by that much; to make it look moved otherwise, it would
/// have to change many more.
bool mayRival(const MotionScore& other, const MotionScore& best);

/// Whether `a` explains the new revision better than `b`: fewer faces unexplained, or as few
/// and more old area fitted.
bool explainsBetter(const MotionScore& a, const MotionScore& b);

/// The motions worth weighing, each weighed with samples placed: the identity first, then every
/// motion that carries some three faces of the old revision onto three new faces of the same
/// form at the same distances from one another (the faces whose form is rarest, spread wide),
/// or that shifts many faces by one same distance, made exact over every face it fits, and each
/// of those and the identity followed by every turn that carries the old revision onto itself.
/// Only those that fit two faces or more, and could still be chosen or count against the chosen
/// one, are kept.
std::vector<MotionCandidate> findMotionCandidates(MotionFaces& faces);
