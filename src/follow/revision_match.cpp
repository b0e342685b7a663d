#include "revision_match.hpp"

#include "face_links.hpp"
#include "match_decisions.hpp"
#include "model_moves.hpp"

#include <algorithm>
#include <cmath>

namespace {

// One row per face number of the old model. A face visited more than once answers for each of
// its visits; the new faces are named by the visit of the same rank where they have one.
std::vector<FaceMatch> spreadOverVisits(const std::vector<SampledFace>& oldFaces,
                                        const std::vector<SampledFace>& newFaces,
                                        const std::vector<FaceMatch>& answers)
{
    std::vector<FaceMatch> rows;
    for (std::size_t o = 0; o < oldFaces.size(); ++o) {
        const std::vector<int>& visits = oldFaces[o].visits;
        for (std::size_t rank = 0; rank < visits.size(); ++rank) {
            FaceMatch row = answers[o];
            row.oldNumber = visits[rank];
            row.newNumbers.clear();
            if (isCertain(row.kind)) {
                for (const int n : answers[o].newNumbers) {
                    const std::vector<int>& newVisits = newFaces[n].visits;
                    row.newNumbers.push_back(newVisits[std::min(rank, newVisits.size() - 1)]);
                }
                std::sort(row.newNumbers.begin(), row.newNumbers.end());
                row.newNumbers.erase(std::unique(row.newNumbers.begin(), row.newNumbers.end()),
                                     row.newNumbers.end());
            }
            rows.push_back(std::move(row));
        }
    }
    std::sort(rows.begin(), rows.end(),
              [](const FaceMatch& a, const FaceMatch& b) { return a.oldNumber < b.oldNumber; });
    return rows;
}

} // namespace

bool isCertain(MatchKind kind)
{
    return kind == MatchKind::same || kind == MatchKind::changed || kind == MatchKind::split ||
           kind == MatchKind::merged;
}

const char* matchKindName(MatchKind kind)
{
    switch (kind) {
    case MatchKind::same: return "same";
    case MatchKind::changed: return "changed";
    case MatchKind::split: return "split";
    case MatchKind::merged: return "merged";
    case MatchKind::gone: return "gone";
    case MatchKind::unsure: break;
    }
    return "unsure";
}

double pairTolerance(const MatchTolerance& tolerance, double a, double b)
{
    return std::min(tolerance.base + a + b, tolerance.most);
}

MatchTolerance measureTolerance(const Bnd_Box& whole)
{
    MatchTolerance tolerance;
    const double size = whole.IsVoid() ? 1 : std::sqrt(whole.SquareExtent());
    tolerance.base = 1e-6 * size;
    tolerance.most = 1e-3 * size;
    return tolerance;
}

std::vector<FaceMatch> matchRevisions(const std::vector<SampledFace>& oldFaces,
                                      const std::vector<SampledFace>& newFaces,
                                      const Bnd_Box& oldModelBounds)
{
    Bnd_Box whole = oldModelBounds;
    for (const auto* faces : {&oldFaces, &newFaces}) {
        for (const SampledFace& face : *faces) whole.Add(face.box);
    }
    const MatchTolerance tolerance = measureTolerance(whole);

    std::vector<FaceMatch> answers = decideMatches(
        oldFaces, newFaces, linkFaces(oldFaces, newFaces, tolerance), tolerance);
    doubtMovedModel(oldFaces, newFaces, tolerance, answers);
    return spreadOverVisits(oldFaces, newFaces, answers);
}
