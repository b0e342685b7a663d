#include "revision_match.hpp"

#include "face_links.hpp"
#include "match_decisions.hpp"
#include "model_moves.hpp"

#include <algorithm>

namespace {

// One row per face number of the old model. A face visited more than once answers for each of
// its visits; the new faces are named by the visit of the same rank where they have one.
std::vector<FaceMatch> spreadOverVisits(const std::vector<SampledFace>& oldFaces,
                                        const std::vector<SampledFace>& newFaces,
                                        const std::vector<FaceAnswer>& answers)
{
    std::vector<FaceMatch> rows;
    for (std::size_t o = 0; o < oldFaces.size(); ++o) {
        const FaceAnswer& answer = answers[o];
        const std::vector<int>& visits = oldFaces[o].visits;
        for (std::size_t rank = 0; rank < visits.size(); ++rank) {
            FaceMatch row;
            row.oldNumber = visits[rank];
            row.kind = answer.kind;
            row.kept = answer.kept;
            row.reason = answer.reason;
            if (isCertain(answer.kind)) {
                for (const int n : answer.newFaces) {
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

std::vector<FaceMatch> matchRevisions(const std::vector<SampledFace>& oldFaces,
                                      const std::vector<SampledFace>& newFaces)
{
    const MatchTolerance tolerance = measureTolerance(oldFaces, newFaces);
    std::vector<FaceAnswer> answers = decideMatches(
        oldFaces, newFaces, linkFaces(oldFaces, newFaces, tolerance), tolerance);
    doubtMovedModel(oldFaces, newFaces, tolerance, answers);
    return spreadOverVisits(oldFaces, newFaces, answers);
}
