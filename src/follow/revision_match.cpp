#include "revision_match.hpp"

#include "face_overlap.hpp"
#include "model_moves.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>

#include <Bnd_BoundSortBox.hxx>
#include <Bnd_HArray1OfBox.hxx>
#include <TColStd_ListOfInteger.hxx>

namespace {

// Two faces whose samples show them on one surface, facing the same way, with at least this
// share of one inside the other, are one face for certain; a smaller overlap may be a new face
// that merely touches where an old one was.
constexpr double mostlyOverlapping = 0.5;
// Where two surfaces are both over each other, this share of the samples on both decides that
// they coincide; this share off both, that they only cross.
constexpr double coincidingShare = 0.9;
constexpr double crossingShare = 0.1;

// How an old face and a new face relate, as their samples show it.
struct Link {
    int oldFace = 0, newFace = 0;
    Placement oldOnNew, newOnOld;
    bool doubtful = false;   ///< their surfaces coincide in part only, or could not be compared
    bool sameBounds = false; ///< one surface, one side, the same bounds: the same face
    double tolerance = 0;
};

bool isWeak(const Link& link)
{
    return std::max(link.oldOnNew.inside, link.newOnOld.inside) < mostlyOverlapping;
}

bool isReversed(const Link& link)
{
    return link.oldOnNew.reversed > 0 || link.newOnOld.reversed > 0;
}

// Faces that only lie on each other facing opposite ways (two parts in contact) are two faces.
bool facesAway(const Link& link)
{
    return !link.doubtful && isReversed(link) && link.oldOnNew.inside <= 0 &&
           link.newOnOld.inside <= 0;
}

// Relates two faces whose bounds meet; nothing when their surfaces do not coincide where they
// overlap.
std::optional<Link> relateFaces(const SampledFace& oldFace, const FaceGauge& oldGauge,
                                const SampledFace& newFace, const FaceGauge& newGauge,
                                double tolerance)
{
    Link link;
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
    // Projecting onto a free-form surface is costly, so the cheaper way round goes first: when
    // no sample of the one face comes near the other's surface, they coincide nowhere on it.
    const bool oldFree = isFreeForm(oldFace.type), newFree = isFreeForm(newFace.type);
    if (oldFree && !newFree) {
        link.oldOnNew = placeSamples(oldFace, newGauge, tolerance);
        if (!touchesSurface(link.oldOnNew)) return std::nullopt;
        link.newOnOld = placeSamples(newFace, oldGauge, tolerance);
    } else if (newFree && !oldFree) {
        link.newOnOld = placeSamples(newFace, oldGauge, tolerance);
        if (!touchesSurface(link.newOnOld)) return std::nullopt;
        link.oldOnNew = placeSamples(oldFace, newGauge, tolerance);
    } else {
        link.oldOnNew = placeSamples(oldFace, newGauge, tolerance);
        // Between two free-form faces a few samples the other way round show whether it is
        // worth placing them all.
        constexpr std::size_t glance = 4;
        const bool look = !oldFree || touchesSurface(link.oldOnNew) ||
                          touchesSurface(placeSamples(newFace, oldGauge, tolerance, glance));
        if (!look) return std::nullopt;
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

int findRoot(std::vector<int>& parent, int i)
{
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
}

std::string joinNumbers(const std::vector<int>& numbers)
{
    std::string text;
    for (const int number : numbers) text += (text.empty() ? "" : ", ") + std::to_string(number);
    return text;
}

std::string percent(double share)
{
    return std::to_string(int(std::lround(share * 100))) + "%";
}

// The faces and relations of one group of faces that overlap one another, directly or not.
struct Cluster {
    std::vector<int> oldFaces, newFaces;
    std::vector<const Link*> links;
};

// Why the faces of a cluster cannot have a certain answer; "" when they can.
std::string findDoubt(const Cluster& cluster, const std::vector<SampledFace>& oldFaces,
                      const std::vector<SampledFace>& newFaces)
{
    for (const Link* link : cluster.links) {
        const int newNumber = newFaces[link->newFace].visits.front();
        const int oldNumber = oldFaces[link->oldFace].visits.front();
        if (oldFaces[link->oldFace].samples.empty()) return "the old face could not be sampled";
        if (newFaces[link->newFace].samples.empty()) {
            return "new face " + std::to_string(newNumber) + " could not be sampled";
        }
        if (link->doubtful) {
            return "the surface of new face " + std::to_string(newNumber) + " and that of old face " +
                   std::to_string(oldNumber) + " coincide only in part";
        }
        if (isReversed(*link)) {
            return "new face " + std::to_string(newNumber) + " lies on old face " +
                   std::to_string(oldNumber) + " partly facing the other way";
        }
        if (isWeak(*link)) {
            return "old face " + std::to_string(oldNumber) + " and new face " +
                   std::to_string(newNumber) + " overlap only in part (" +
                   percent(link->oldOnNew.inside) + " of the old, " +
                   percent(link->newOnOld.inside) + " of the new)";
        }
    }
    if (cluster.oldFaces.size() > 1 && cluster.newFaces.size() > 1) {
        std::vector<int> oldNumbers, newNumbers;
        for (const int i : cluster.oldFaces) oldNumbers.push_back(oldFaces[i].visits.front());
        for (const int i : cluster.newFaces) newNumbers.push_back(newFaces[i].visits.front());
        std::sort(oldNumbers.begin(), oldNumbers.end());
        std::sort(newNumbers.begin(), newNumbers.end());
        return "old faces " + joinNumbers(oldNumbers) + " and new faces " +
               joinNumbers(newNumbers) + " overlap across each other";
    }
    return {};
}

// Pieces that are to share one face between them must not lie on each other: two coinciding
// faces in one model cannot be told apart.
std::string findStackedPieces(const std::vector<int>& pieces,
                              const std::vector<SampledFace>& faces, const char* which,
                              const MatchTolerance& tolerance)
{
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        for (std::size_t j = i + 1; j < pieces.size(); ++j) {
            const SampledFace& a = faces[pieces[i]];
            const SampledFace& b = faces[pieces[j]];
            const double t = pairTolerance(tolerance, a.tolerance, b.tolerance);
            const Placement p = placeSamples(a, gaugeFace(b, t), t);
            if (p.inside + p.reversed > 0) {
                return std::string(which) + " faces " + std::to_string(a.visits.front()) +
                       " and " + std::to_string(b.visits.front()) + " lie on each other";
            }
        }
    }
    return {};
}

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

std::vector<FaceMatch> matchRevisions(const std::vector<SampledFace>& oldFaces,
                                      const std::vector<SampledFace>& newFaces)
{
    Bnd_Box whole;
    for (const auto* faces : {&oldFaces, &newFaces}) {
        for (const SampledFace& face : *faces) whole.Add(face.box);
    }
    MatchTolerance tolerance;
    const double size = whole.IsVoid() ? 1 : std::sqrt(whole.SquareExtent());
    tolerance.base = 1e-6 * size;
    tolerance.most = 1e-3 * size;

    // Each face is gauged once, with the loosest tolerance it will be compared with.
    double loosestOld = 0, loosestNew = 0;
    for (const SampledFace& face : oldFaces) loosestOld = std::max(loosestOld, face.tolerance);
    for (const SampledFace& face : newFaces) loosestNew = std::max(loosestNew, face.tolerance);
    std::vector<std::optional<FaceGauge>> oldGauges(oldFaces.size()), newGauges(newFaces.size());
    auto gauge = [&](std::vector<std::optional<FaceGauge>>& gauges, const SampledFace& face,
                     std::size_t i, double other) -> const FaceGauge& {
        if (!gauges[i]) gauges[i] = gaugeFace(face, pairTolerance(tolerance, face.tolerance, other));
        return *gauges[i];
    };

    // Only faces whose bounds meet can overlap: an index over the new faces' boxes finds them.
    std::vector<Link> links;
    if (!newFaces.empty()) {
        Handle(Bnd_HArray1OfBox) boxes = new Bnd_HArray1OfBox(1, int(newFaces.size()));
        for (std::size_t i = 0; i < newFaces.size(); ++i) {
            Bnd_Box box = newFaces[i].box;
            box.Enlarge(pairTolerance(tolerance, newFaces[i].tolerance, loosestOld));
            boxes->SetValue(int(i) + 1, box);
        }
        Bnd_BoundSortBox index;
        index.Initialize(whole, boxes);
        for (std::size_t o = 0; o < oldFaces.size(); ++o) {
            const SampledFace& oldFace = oldFaces[o];
            Bnd_Box box = oldFace.box;
            box.Enlarge(pairTolerance(tolerance, oldFace.tolerance, loosestNew));
            for (const int found : index.Compare(box)) {
                const std::size_t n = std::size_t(found - 1);
                const SampledFace& newFace = newFaces[n];
                const double t = pairTolerance(tolerance, oldFace.tolerance, newFace.tolerance);
                if (!surfacesMayCoincide(oldFace, newFace, t)) continue;
                std::optional<Link> link =
                    relateFaces(oldFace, gauge(oldGauges, oldFace, o, loosestNew), newFace,
                                gauge(newGauges, newFace, n, loosestOld), t);
                if (!link) continue;
                link->oldFace = int(o);
                link->newFace = int(n);
                links.push_back(*link);
            }
        }
    }

    // Faces that overlap, directly or through others, are decided together.
    const int oldCount = int(oldFaces.size());
    std::vector<int> parent(oldFaces.size() + newFaces.size());
    std::iota(parent.begin(), parent.end(), 0);
    std::vector<std::vector<int>> facingAway(oldFaces.size());
    for (const Link& link : links) {
        if (facesAway(link)) {
            facingAway[link.oldFace].push_back(newFaces[link.newFace].visits.front());
            continue;
        }
        parent[findRoot(parent, link.oldFace)] = findRoot(parent, oldCount + link.newFace);
    }
    std::vector<Cluster> clusters(parent.size());
    for (int i = 0; i < int(parent.size()); ++i) {
        Cluster& cluster = clusters[findRoot(parent, i)];
        if (i < oldCount) {
            cluster.oldFaces.push_back(i);
        } else {
            cluster.newFaces.push_back(i - oldCount);
        }
    }
    for (const Link& link : links) {
        if (!facesAway(link)) clusters[findRoot(parent, link.oldFace)].links.push_back(&link);
    }

    // One answer per old face, then one row per face number.
    std::vector<FaceMatch> answers(oldFaces.size());
    for (const Cluster& cluster : clusters) {
        if (cluster.oldFaces.empty()) continue;
        std::string doubt = findDoubt(cluster, oldFaces, newFaces);
        if (doubt.empty() && cluster.newFaces.size() > 1) {
            doubt = findStackedPieces(cluster.newFaces, newFaces, "new", tolerance);
        }
        if (doubt.empty() && cluster.oldFaces.size() > 1) {
            doubt = findStackedPieces(cluster.oldFaces, oldFaces, "old", tolerance);
        }
        for (const int o : cluster.oldFaces) {
            FaceMatch& answer = answers[o];
            for (const Link* link : cluster.links) {
                if (link->oldFace != o) continue;
                answer.kept += link->oldOnNew.inside;
                answer.newNumbers.push_back(link->newFace);
            }
            if (cluster.newFaces.empty()) {
                answer.kind = MatchKind::unsure;
                if (oldFaces[o].samples.empty()) {
                    answer.reason = "the old face could not be sampled";
                } else if (!facingAway[o].empty()) {
                    std::sort(facingAway[o].begin(), facingAway[o].end());
                    answer.reason = "only faces facing the other way lie where it was: " +
                                    joinNumbers(facingAway[o]);
                } else {
                    answer.kind = MatchKind::gone;
                    answer.reason = "no new face lies on its surface where it was";
                }
            } else if (!doubt.empty()) {
                answer.kind = MatchKind::unsure;
                answer.reason = doubt;
            } else if (cluster.newFaces.size() > 1) {
                answer.kind = MatchKind::split;
            } else if (cluster.oldFaces.size() > 1) {
                answer.kind = MatchKind::merged;
            } else {
                const bool same = cluster.links.front()->sameBounds;
                answer.kind = same ? MatchKind::same : MatchKind::changed;
                if (same) answer.kept = 1;
            }
        }
    }
    doubtMovedModel(oldFaces, newFaces, tolerance, answers);
    return spreadOverVisits(oldFaces, newFaces, answers);
}
