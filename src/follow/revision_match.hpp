#pragma once

#include "face_sampling.hpp"

#include <string>
#include <vector>

/// What became of a face of the old revision of a model in the new one.
enum class MatchKind {
    same,    ///< one new face on the same surface with the same bounds
    changed, ///< one new face on the same surface with other bounds
    split,   ///< several new faces on the same surface share what is left of it
    merged,  ///< it and other old faces became one new face
    gone,    ///< no new face lies on its surface where it was
    unsure,  ///< candidates exist, but the geometry does not tell them apart for certain
};

/// The answer for one face number of the old revision.
struct FaceMatch {
    int oldNumber = 0;
    std::vector<int> newNumbers; ///< in increasing order; empty when gone or unsure
    MatchKind kind = MatchKind::gone;
    double kept = 0;             ///< share of the old face's area that its new faces cover
    std::string reason;          ///< why it is gone or unsure; "" for a certain answer
};

/// Whether `kind` names new faces for certain.
bool isCertain(MatchKind kind);

/// "same", "changed", "split", "merged", "gone" or "unsure".
const char* matchKindName(MatchKind kind);

/// The tolerances of comparing two revisions: how far apart two points may lie and still be
/// one, for two faces of the given tolerances.
struct MatchTolerance {
    double base = 0; ///< a millionth of the size of both models together
    double most = 0; ///< a thousandth of that size: no comparison is looser
};

/// The tolerance for comparing two faces of these tolerances: base plus both, at most `most`.
double pairTolerance(const MatchTolerance& tolerance, double a, double b);

/// The tolerances of comparing two revisions that together fill `whole`.
MatchTolerance measureTolerance(const Bnd_Box& whole);

/// Matches every face of the old revision to the faces of the new one, by geometry alone: the
/// surface each lies on, the side it faces, and how much of each covers the other. One answer
/// per face number of the old revision, in increasing order. When only some of the old faces
/// are at hand, `oldModelBounds` bounds the whole old model, for the tolerances.
std::vector<FaceMatch> matchRevisions(const std::vector<SampledFace>& oldFaces,
                                      const std::vector<SampledFace>& newFaces,
                                      const Bnd_Box& oldModelBounds = Bnd_Box());
