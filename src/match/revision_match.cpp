#include "revision_match.hpp"

#include "face_links.hpp"
#include "match_decisions.hpp"
#include "model_moves.hpp"
#include "reshaped_faces.hpp"

#include <algorithm>
#include <optional>

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

RevisionMatch compareRevisions(const std::vector<SampledFace>& oldFaces,
                               const std::vector<SampledFace>& newFaces,
                               const MatchOptions& options)
{
    MotionChoice choice;
    std::optional<MotionFaces> motionFaces;
    if (options.followMotion) {
        const MatchTolerance tolerance = measureTolerance(oldFaces, newFaces);
        double loosest = 0;
        for (const auto* faces : {&oldFaces, &newFaces}) {
            for (const SampledFace& face : *faces) loosest = std::max(loosest, face.tolerance);
        }
        motionFaces =
            prepareMotionFaces(oldFaces, newFaces, pairTolerance(tolerance, loosest, loosest));
        double total = 0;
        for (const SampledFace& face : oldFaces) total += face.area;
        choice = chooseMotion(findMotionCandidates(*motionFaces), total);
        // The new faces' gauges of the search go before the matching makes its own.
        std::vector<std::optional<FaceGauge>>().swap(motionFaces->newGauges);
    }
    // Matched where the motion puts them, within the tolerance of the models so placed.
    const std::vector<SampledFace> moved =
        choice.moved ? moveFaces(oldFaces, choice.motion) : std::vector<SampledFace>();
    const std::vector<SampledFace>& placed = choice.moved ? moved : oldFaces;
    const MatchTolerance tolerance =
        measureTolerance(placed, newFaces, choice.moved ? Bnd_Box() : options.oldModelBounds);
    std::vector<FaceAnswer> answers =
        decideMatches(placed, newFaces, linkFaces(placed, newFaces, tolerance), tolerance);
    doubtLostModel(placed, answers);
    RevisionMatch match;
    if (motionFaces && !choice.rivals.empty()) {
        doubtRivalPlaces(*motionFaces, choice, tolerance, answers);
        match.rivals = int(choice.rivals.size());
    }
    if (options.findReshaped) {
        findReshapedFaces(oldFaces, placed, newFaces, tolerance.base, answers);
    }
    if (choice.moved) match.motion = describeMotion(choice.motion);
    match.faces = spreadOverVisits(oldFaces, newFaces, answers);
    return match;
}

std::vector<FaceMatch> matchRevisions(const std::vector<SampledFace>& oldFaces,
                                      const std::vector<SampledFace>& newFaces)
{
    return compareRevisions(oldFaces, newFaces).faces;
}

std::vector<std::string> describeMotionNotes(const RevisionMatch& match)
{
    const std::string ways = std::to_string(match.rivals + 1) + " ways";
    const std::string unsure = "; faces that those ways put in different places are unsure";
    if (!match.motion.empty() && match.rivals == 0) {
        return {"the new revision is the old one moved as a whole: " + match.motion +
                "; its faces are matched through that motion"};
    }
    if (!match.motion.empty()) {
        return {"the new revision is the old one moved as a whole, in one of " + ways +
                " that fit it as well (the part is symmetric, or has equal features in a row), "
                "one of them " +
                match.motion + unsure};
    }
    if (match.rivals > 0) {
        return {"the part fits the new revision in " + ways +
                ", where it was and turned or shifted onto itself (it is symmetric, or has "
                "equal features in a row)" +
                unsure};
    }
    return {};
}
