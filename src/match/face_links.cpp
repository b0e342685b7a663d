#include "face_links.hpp"

#include "box_index.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

#include <Standard_Failure.hxx>

namespace {

// Two faces whose samples show them on one surface, facing the same way, with at least this
// share of one inside the other, are one face for certain; a smaller overlap may be a new face
// that merely touches where an old one was.
constexpr double mostlyOverlapping = 0.5;
// Where two surfaces are both over each other, this share of the samples on both decides that
// they coincide; this share off both, that they only cross.
constexpr double coincidingShare = 0.9;
constexpr double crossingShare = 0.1;

// Relates two faces whose bounds meet; nothing when their surfaces do not coincide where they
// overlap.
std::optional<FaceLink> relateFaces(const SampledFace& oldFace, const FaceGauge& oldGauge,
                                    const SampledFace& newFace, const FaceGauge& newGauge,
                                    double tolerance)
{
    FaceLink link;
    link.tolerance = tolerance;
    if (oldFace.samples.empty() || newFace.samples.empty()) {
        link.doubtful = true; // nothing to compare by: it cannot be ruled out
        return link;
    }
    // The same face again, as most faces of a revision are: its bounds tell it at little cost,
    // and a few samples tell it from the rest of a closed surface that the same edges bound.
    const bool boundsAlike = haveSameBounds(oldFace, newFace, tolerance);
    if (boundsAlike) {
        constexpr std::size_t stride = 8;
        link.oldOnNew = placeSamples(oldFace, newGauge, tolerance, stride);
        link.newOnOld = placeSamples(newFace, oldGauge, tolerance, stride);
        link.sameBounds = link.oldOnNew.inside + link.oldOnNew.boundary >= 0.999 &&
                          link.newOnOld.inside + link.newOnOld.boundary >= 0.999;
        if (link.sameBounds) return link;
    }
    // Projecting onto a free-form surface is costly, so the cheaper way round goes first: when no
    // sample of the one face lies on the other, the two overlap nowhere that the samples can
    // tell, and the costly way is spared.
    const bool oldFree = isFreeForm(oldFace.type), newFree = isFreeForm(newFace.type);
    if (oldFree && !newFree) {
        link.oldOnNew = placeSamples(oldFace, newGauge, tolerance);
        if (!liesOn(link.oldOnNew)) return std::nullopt;
        link.newOnOld = placeSamples(newFace, oldGauge, tolerance);
    } else if (newFree && !oldFree) {
        link.newOnOld = placeSamples(newFace, oldGauge, tolerance);
        if (!liesOn(link.newOnOld)) return std::nullopt;
        link.oldOnNew = placeSamples(oldFace, newGauge, tolerance);
    } else if (oldFree) {
        // Between two free-form faces a glance at a few samples each way shows whether it is
        // worth placing them all.
        constexpr std::size_t glance = 4;
        if (!liesOn(placeSamples(oldFace, newGauge, tolerance, glance)) &&
            !liesOn(placeSamples(newFace, oldGauge, tolerance, glance))) {
            return std::nullopt;
        }
        link.oldOnNew = placeSamples(oldFace, newGauge, tolerance);
        link.newOnOld = placeSamples(newFace, oldGauge, tolerance);
    } else {
        link.oldOnNew = placeSamples(oldFace, newGauge, tolerance);
        link.newOnOld = placeSamples(newFace, oldGauge, tolerance);
    }
    bool anyOn = false, allCoincide = true, allCross = true;
    for (const Placement* p : {&link.oldOnNew, &link.newOnOld}) {
        const double on = p->inside + p->reversed, over = on + p->off;
        if (over <= 0) continue;
        anyOn = anyOn || on > 0;
        allCoincide = allCoincide && on / over >= coincidingShare;
        allCross = allCross && on / over <= crossingShare;
    }
    if (!anyOn || allCross) return std::nullopt;
    link.doubtful = !allCoincide;
    link.sameBounds = boundsAlike && !link.doubtful &&
                      link.oldOnNew.inside + link.oldOnNew.boundary >= 0.999 &&
                      link.newOnOld.inside + link.newOnOld.boundary >= 0.999;
    return link;
}

// What could not be compared cannot be ruled out.
FaceLink failedLink(double tolerance)
{
    FaceLink link;
    link.doubtful = link.failed = true;
    link.tolerance = tolerance;
    return link;
}

// A face's gauge, made when it is first needed, or the mark that the library failed to make it.
struct GaugeSlot {
    std::optional<FaceGauge> gauge;
    bool failed = false;
};

} // namespace

bool isWeak(const FaceLink& link)
{
    return std::max(link.oldOnNew.inside, link.newOnOld.inside) < mostlyOverlapping;
}

bool isReversed(const FaceLink& link)
{
    return link.oldOnNew.reversed > 0 || link.newOnOld.reversed > 0;
}

bool facesAway(const FaceLink& link)
{
    return !link.doubtful && isReversed(link) && link.oldOnNew.inside <= 0 &&
           link.newOnOld.inside <= 0;
}

std::vector<FaceLink> linkFaces(const std::vector<SampledFace>& oldFaces,
                                const std::vector<SampledFace>& newFaces,
                                const MatchTolerance& tolerance)
{
    // Each face is gauged once, with the loosest tolerance it will be compared with.
    double loosestOld = 0, loosestNew = 0;
    for (const SampledFace& face : oldFaces) loosestOld = std::max(loosestOld, face.tolerance);
    for (const SampledFace& face : newFaces) loosestNew = std::max(loosestNew, face.tolerance);
    // A face that the library cannot gauge is not tried again for every pair it is in.
    std::vector<GaugeSlot> oldGauges(oldFaces.size()), newGauges(newFaces.size());
    auto gauge = [&](std::vector<GaugeSlot>& slots, const SampledFace& face, std::size_t i,
                     double other) -> const FaceGauge* {
        GaugeSlot& slot = slots[i];
        if (!slot.gauge && !slot.failed) {
            try {
                slot.gauge = gaugeFace(face, pairTolerance(tolerance, face.tolerance, other));
            } catch (const Standard_Failure&) {
                slot.failed = true;
            }
        }
        return slot.gauge ? &*slot.gauge : nullptr;
    };

    // Only faces whose bounds meet can overlap: an index over the new faces' boxes finds them.
    std::vector<Bnd_Box> boxes;
    for (const SampledFace& face : newFaces) {
        boxes.push_back(face.box);
        boxes.back().Enlarge(pairTolerance(tolerance, face.tolerance, loosestOld));
    }
    const BoxIndex index = indexBoxes(boxes);
    std::vector<FaceLink> links;
    for (std::size_t o = 0; o < oldFaces.size(); ++o) {
        const SampledFace& oldFace = oldFaces[o];
        Bnd_Box box = oldFace.box;
        box.Enlarge(pairTolerance(tolerance, oldFace.tolerance, loosestNew));
        for (const int found : findMeetingBoxes(index, box)) {
            const std::size_t n = std::size_t(found);
            const SampledFace& newFace = newFaces[n];
            const double t = pairTolerance(tolerance, oldFace.tolerance, newFace.tolerance);
            std::optional<FaceLink> link;
            try {
                if (!surfacesMayCoincide(oldFace, newFace, t)) continue;
                const FaceGauge* oldGauge = gauge(oldGauges, oldFace, o, loosestNew);
                const FaceGauge* newGauge = gauge(newGauges, newFace, n, loosestOld);
                if (oldGauge && newGauge) {
                    link = relateFaces(oldFace, *oldGauge, newFace, *newGauge, t);
                } else {
                    link = failedLink(t);
                }
            } catch (const Standard_Failure&) {
                link = failedLink(t);
            }
            if (!link) continue;
            link->oldFace = int(o);
            link->newFace = int(n);
            links.push_back(*link);
        }
    }
    return links;
}
