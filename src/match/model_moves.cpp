#include "model_moves.hpp"

#include "face_links.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <Standard_Failure.hxx>
#include <TopLoc_Location.hxx>
#include <TopoDS.hxx>

namespace {

// A candidate whose matched faces keep their surfaces' parameters over no more than this share
// of their area does not follow its frames, by a clear margin: frames set along the model's
// axes at its corners can follow a turn of a box onto itself on some of its faces.
constexpr double framesIgnored = 0.75;
// A candidate whose matched faces keep their surfaces' parameters over this share of their area
// keeps them all, but for rounding.
constexpr double framesWhole = 0.999;
// A rival fits at least this share of the old area that the best motion fits.
constexpr double rivalShare = 0.5;

std::string formatVector(const gp_XYZ& v)
{
    return "(" + formatNumber(v.X()) + ", " + formatNumber(v.Y()) + ", " + formatNumber(v.Z()) +
           ")";
}

// Whether `turn` (in the old revision's coordinates) puts old face `o` onto itself: its centre,
// mean normal and corners in place, and its samples on the face.
bool mapsOntoItself(MotionFaces& faces, int o, const gp_Trsf& turn)
{
    const SampledFace& face = (*faces.oldFaces)[std::size_t(o)];
    const double t = faces.tolerance;
    if (face.samples.empty() || face.centre.Transformed(turn).Distance(face.centre) > t) {
        return false;
    }
    const gp_Vec normal = faces.oldNormals[std::size_t(o)];
    if ((normal.Transformed(turn) - normal).Magnitude() > 0.02) return false;
    for (const gp_Pnt& corner : face.vertices) {
        const gp_Pnt moved = corner.Transformed(turn);
        if (std::none_of(face.vertices.begin(), face.vertices.end(),
                         [&](const gp_Pnt& q) { return moved.Distance(q) <= t; })) {
            return false;
        }
    }
    SampledFace turned;
    for (FaceSample sample : face.samples) {
        sample.point.Transform(turn);
        sample.normal.Transform(turn);
        turned.samples.push_back(sample);
    }
    try {
        const Placement placement = placeSamples(turned, gaugeFace(face, t), t, 4);
        return placement.inside + placement.boundary >= 0.999;
    } catch (const Standard_Failure&) {
        return false;
    }
}

// For each old face of `which`, whether moved by `rival` it lies on exactly the new faces that
// its answer names, as it does through the chosen motion, the same way: then the rival would
// answer for it as the chosen motion does.
std::vector<char> landOnSameFaces(const MotionFaces& faces, const std::vector<int>& which,
                                  const gp_Trsf& rival, const MatchTolerance& tolerance,
                                  const std::vector<FaceAnswer>& answers)
{
    std::vector<char> same(which.size(), 0);
    if (which.empty()) return same;
    std::vector<SampledFace> picked;
    for (const int o : which) picked.push_back((*faces.oldFaces)[std::size_t(o)]);
    const std::vector<SampledFace> moved = moveFaces(picked, rival);
    std::vector<std::vector<const FaceLink*>> found(which.size());
    const std::vector<FaceLink> links = linkFaces(moved, *faces.newFaces, tolerance);
    for (const FaceLink& link : links) {
        if (!facesAway(link)) found[std::size_t(link.oldFace)].push_back(&link);
    }
    for (std::size_t i = 0; i < which.size(); ++i) {
        const FaceAnswer& answer = answers[std::size_t(which[i])];
        std::vector<int> onto;
        bool clean = true;
        for (const FaceLink* link : found[i]) {
            onto.push_back(link->newFace);
            clean = clean && !link->doubtful && !isReversed(*link) && !isWeak(*link) &&
                    link->sameBounds == (answer.kind == MatchKind::same);
        }
        std::vector<int> named = answer.newFaces;
        std::sort(onto.begin(), onto.end());
        std::sort(named.begin(), named.end());
        same[i] = clean && !onto.empty() && onto == named;
    }
    return same;
}

// The old face that `turn` puts old face `o` onto, -1 when none of the same form is there.
int findTurnedOnto(const MotionFaces& faces, int o, const gp_Trsf& turn)
{
    const std::vector<SampledFace>& oldFaces = *faces.oldFaces;
    const gp_Pnt there = oldFaces[std::size_t(o)].centre.Transformed(turn);
    for (int other = 0; other < int(oldFaces.size()); ++other) {
        const SampledFace& face = oldFaces[std::size_t(other)];
        if (other != o && face.type == oldFaces[std::size_t(o)].type &&
            face.centre.Distance(there) <= faces.tolerance &&
            std::abs(face.area - oldFaces[std::size_t(o)].area) <=
                1e-3 * oldFaces[std::size_t(o)].area) {
            return other;
        }
    }
    return -1;
}

} // namespace

MotionChoice chooseMotion(const std::vector<MotionCandidate>& candidates, double totalArea)
{
    MotionChoice choice;
    if (candidates.empty()) return choice;
    // When the identity explains every face of either revision, the model is where it was,
    // symmetric or not: a motion that fits as well (the part turned onto itself) tells nothing
    // more, unless the surfaces' frames follow it where the identity's do not, as when a CAD
    // system turned the part so; then the frames decide below, or leave the doubt.
    const auto identity = std::find_if(candidates.begin(), candidates.end(),
                                       [](const MotionCandidate& c) { return c.identity; });
    if (identity != candidates.end() && identity->score.misfits == 0 &&
        identity->score.fitted > 0 &&
        (followsFrames(*identity) ||
         std::none_of(candidates.begin(), candidates.end(), [](const MotionCandidate& c) {
             return !c.identity && c.score.misfits == 0 && followsFrames(c);
         }))) {
        return choice;
    }
    // So too when it explains the revision as well as any motion and keeps the frame of every
    // face it fits: the part stayed where it was and was revised (a plate made thicker is not
    // one shifted by as much and made thicker downwards).
    if (identity != candidates.end() && identity->score.fitted > 0 &&
        identity->score.framed >= framesWhole * identity->score.fitted &&
        std::none_of(candidates.begin(), candidates.end(), [&](const MotionCandidate& c) {
            return explainsBetter(c.score, identity->score);
        })) {
        return choice;
    }
    std::size_t best = 0;
    for (std::size_t i = 1; i < candidates.size(); ++i) {
        if (explainsBetter(candidates[i].score, candidates[best].score)) best = i;
    }
    const double bestFit = candidates[best].score.fitted;
    // A rival fits at least half the old area that the best fits, too: the motion a part went
    // by fits every face that the revision left alone, and any other only those and new faces
    // that happen to look like old ones moved; one upright of a bracket shifted onto the other
    // fits few faces, and leaves few more unexplained only when the revision changed many.
    std::vector<std::size_t> rivals;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const MotionScore& score = candidates[i].score;
        if (mayRival(score, candidates[best].score) && score.fitted >= rivalShare * bestFit) {
            rivals.push_back(i);
        }
    }
    std::size_t chosen = best;
    if (rivals.size() > 1) {
        // Rivals whose surfaces keep their parameters, the others' plainly not, or not all
        // where those keep every one: the part went by one of those (a symmetric part's frames
        // may follow each of its turns onto itself). A CAD system that moves a part, and its
        // booleans, keep the frame of every face they leave alone.
        std::vector<std::size_t> framed;
        bool othersIgnore = true, framedWhole = true;
        for (const std::size_t i : rivals) {
            const MotionScore& score = candidates[i].score;
            if (followsFrames(candidates[i])) {
                framed.push_back(i);
                framedWhole = framedWhole && score.framed >= framesWhole * score.fitted;
            } else if (score.framed > framesIgnored * score.fitted) {
                othersIgnore = false;
            }
        }
        if (!framed.empty() && (othersIgnore || framedWhole)) {
            rivals = framed;
            chosen = framed.front();
            for (const std::size_t i : framed) {
                if (explainsBetter(candidates[i].score, candidates[chosen].score)) chosen = i;
            }
        }
        for (const std::size_t i : rivals) {
            if (rivals.size() > 1 && candidates[i].identity) chosen = i;
        }
    }
    if (bestFit <= 0) {
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            if (candidates[i].identity) chosen = i;
        }
    }
    // Frames that follow another motion than the one chosen are a doubt of their own.
    if (!followsFrames(candidates[chosen])) {
        for (std::size_t i = 0; i < candidates.size(); ++i) {
            if (followsFrames(candidates[i]) &&
                candidates[i].score.fitted >= substantialFit * totalArea &&
                std::find(rivals.begin(), rivals.end(), i) == rivals.end()) {
                rivals.push_back(i);
            }
        }
    }
    choice.motion = candidates[chosen].motion;
    choice.moved = !candidates[chosen].identity;
    for (const std::size_t i : rivals) {
        if (i != chosen) choice.rivals.push_back(candidates[i].motion);
    }
    return choice;
}

std::vector<SampledFace> moveFaces(const std::vector<SampledFace>& faces, const gp_Trsf& motion)
{
    std::vector<SampledFace> moved = faces;
    const TopLoc_Location location(motion);
    for (SampledFace& face : moved) {
        face.face = TopoDS::Face(face.face.Moved(location));
        face.centre.Transform(motion);
        face.box = face.box.Transformed(motion);
        for (FaceSample& sample : face.samples) {
            sample.point.Transform(motion);
            sample.normal.Transform(motion);
        }
        for (gp_Pnt& point : face.vertices) point.Transform(motion);
        for (gp_Pnt& point : face.edgeMiddles) point.Transform(motion);
    }
    return moved;
}

void doubtLostModel(const std::vector<SampledFace>& oldFaces, std::vector<FaceAnswer>& answers)
{
    double total = 0, kept = 0;
    for (std::size_t o = 0; o < oldFaces.size(); ++o) {
        total += oldFaces[o].area;
        kept += oldFaces[o].area * std::min(answers[o].kept, 1.0);
    }
    if (!(total > 0) || kept >= 0.5 * total) return;
    const std::string reason =
        "only " + std::to_string(int(std::lround(100 * kept / total))) +
        "% of the old model's area lies where it was: the model looks moved or replaced";
    for (FaceAnswer& answer : answers) {
        if (!isCertain(answer.kind)) continue;
        answer.kind = MatchKind::unsure;
        answer.reason = reason;
    }
}

int doubtRivalPlaces(MotionFaces& faces, const MotionChoice& choice,
                     const MatchTolerance& tolerance, std::vector<FaceAnswer>& answers)
{
    int doubted = 0;
    for (const gp_Trsf& rival : choice.rivals) {
        const gp_Trsf turn = choice.motion.Inverted().Multiplied(rival);
        // A face that the rival puts elsewhere may still land on the very new faces it became:
        // a round face turned about its own axis moves its seam, but not what it became.
        std::vector<int> moving;
        for (int o = 0; o < int(answers.size()); ++o) {
            if (isCertain(answers[std::size_t(o)].kind) && !mapsOntoItself(faces, o, turn)) {
                moving.push_back(o);
            }
        }
        const std::vector<char> same = landOnSameFaces(faces, moving, rival, tolerance, answers);
        for (std::size_t i = 0; i < moving.size(); ++i) {
            if (same[i]) continue;
            const int o = moving[i];
            const int onto = findTurnedOnto(faces, o, turn);
            const std::string where =
                onto >= 0
                    ? "where old face " +
                          std::to_string((*faces.oldFaces)[std::size_t(onto)].visits.front()) +
                          " was"
                    : "elsewhere";
            FaceAnswer& answer = answers[std::size_t(o)];
            answer.kind = MatchKind::unsure;
            answer.reason = "the part fits the new revision in " +
                            std::to_string(choice.rivals.size() + 1) +
                            " ways (it is symmetric, or has equal features in a row), and one of "
                            "them puts this face " +
                            where;
            ++doubted;
        }
    }
    return doubted;
}

std::string describeMotion(const gp_Trsf& motion)
{
    gp_XYZ axis;
    double angle = 0;
    const std::string shift = "moved by " + formatVector(motion.TranslationPart());
    if (!motion.GetRotation(axis, angle) || std::abs(angle) < 1e-9) return shift;
    if (angle < 0) {
        angle = -angle;
        axis.Reverse();
    }
    return "turned by " + formatNumber(angle * 180 / M_PI) + " degrees about the axis " +
           formatVector(axis.Normalized()) + " through the origin, then " + shift;
}
