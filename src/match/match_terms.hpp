#pragma once

// What every stage of matching two revisions shares: the answers and the tolerance.

#include "face_sampling.hpp"

#include <string>
#include <vector>

/// What became of a face of the old revision of a model in the new one.
enum class MatchKind {
    same,     ///< one new face on the same surface with the same bounds
    changed,  ///< one new face on the same surface with other bounds
    split,    ///< several new faces on the same surface share what is left of it
    merged,   ///< it and other old faces became one new face
    reshaped, ///< one new face in its place among the same neighbours, on a changed surface
    gone,     ///< no new face lies on its surface where it was
    unsure,   ///< candidates exist, but the geometry does not tell them apart for certain
};

/// Whether `kind` names new faces for certain.
bool isCertain(MatchKind kind);

/// "same", "changed", "split", "merged", "reshaped", "gone" or "unsure".
const char* matchKindName(MatchKind kind);

/// The answer for one face number of the old revision, as the table prints it.
struct FaceMatch {
    int oldNumber = 0;
    std::vector<int> newNumbers; ///< face numbers, in increasing order; empty unless certain
    MatchKind kind = MatchKind::gone;
    double kept = 0;    ///< share of the old face's area that its new faces cover
    std::string reason; ///< why it is gone or unsure, what changed when reshaped; else ""
};

/// The answer for one sampled face of the old revision while the stages decide it.
struct FaceAnswer {
    std::vector<int> newFaces; ///< indices into the new revision's sampled faces
    MatchKind kind = MatchKind::gone;
    double kept = 0;    ///< share of the old face's area that its new faces cover
    std::string reason; ///< why it is gone or unsure, what changed when reshaped
};

/// The tolerances of comparing two revisions: how far apart two points may lie and still be
/// one, for two faces of the given tolerances.
struct MatchTolerance {
    double base = 0; ///< a millionth of the size of both models together
    double most = 0; ///< a thousandth of that size: no comparison is looser
};

/// The tolerances for two revisions, from the diagonal of the box around the faces of both and
/// `alsoBounds`.
MatchTolerance measureTolerance(const std::vector<SampledFace>& oldFaces,
                                const std::vector<SampledFace>& newFaces,
                                const Bnd_Box& alsoBounds = Bnd_Box());

/// The tolerances for two revisions that together fill `whole`.
MatchTolerance measureTolerance(const Bnd_Box& whole);

/// The tolerance for comparing two faces of these tolerances: base plus both, at most `most`.
double pairTolerance(const MatchTolerance& tolerance, double a, double b);

/// Face numbers as reasons print them: "3, 7, 12".
std::string joinNumbers(const std::vector<int>& numbers);

/// A number as reasons and notes print it: six significant digits, nought for a rounding error.
std::string formatNumber(double value);
