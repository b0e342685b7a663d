#pragma once

#include "face_sampling.hpp"
#include "match_terms.hpp"
#include "motion_search.hpp"

#include <string>
#include <vector>

#include <gp_Trsf.hxx>

/// The motion through which two revisions are matched, and the others that fit as well.
struct MotionChoice {
    gp_Trsf motion;              ///< from the old revision's coordinates to the new one's
    bool moved = false;          ///< the motion is not the identity
    std::vector<gp_Trsf> rivals; ///< other motions that explain the new revision as well
};

/// Chooses among `candidates` (the identity among them) the motion that explains the new
/// revision best: the one that leaves the fewest faces of either revision unexplained. The
/// identity is chosen alone when it explains every face, unless the surfaces' parameters follow
/// another motion that does so too where its own do not. Another is a rival when it explains the
/// revision nearly as simply (mayRival) and fits at least half the area the best one fits, since
/// a revision can make a part look turned onto itself. The surfaces' parameters narrow the
/// rivals down to those they follow when the others' plainly do not (a model moved in a CAD
/// system moves its surfaces' frames too); a candidate whose frames follow, where the chosen
/// one's do not, is a rival too. Among rivals not so decided, the identity is chosen.
MotionChoice chooseMotion(const std::vector<MotionCandidate>& candidates, double totalArea);

/// `faces` moved by `motion`: points, normals, bounds and the faces themselves.
std::vector<SampledFace> moveFaces(const std::vector<SampledFace>& faces, const gp_Trsf& motion);

/// Turns every certain answer into an unsure one when less than half of the old faces' area is
/// found where the motion puts it: the new revision then looks replaced rather than revised.
/// `answers` holds one answer per entry of `oldFaces`, which lie where the motion puts them.
void doubtLostModel(const std::vector<SampledFace>& oldFaces, std::vector<FaceAnswer>& answers);

/// Turns the certain answer of every old face that a rival motion puts elsewhere than the chosen
/// one into an unsure one: which of the places it went to, the geometry does not tell. A face
/// that the rival puts on the very new faces that its answer names stays certain. `answers`
/// holds one answer per old face of `faces`, matched within `tolerance`; returns how many were
/// turned.
int doubtRivalPlaces(MotionFaces& faces, const MotionChoice& choice,
                     const MatchTolerance& tolerance, std::vector<FaceAnswer>& answers);

/// The motion in words: "moved by (7, 3, 0)", or "turned by 90 degrees about the axis
/// (0, 0, 1) through the origin, then moved by (7, 3, 0)".
std::string describeMotion(const gp_Trsf& motion);
