#include "match_decisions.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

int findRoot(std::vector<int>& parent, int i)
{
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
}

std::string percent(double share)
{
    return std::to_string(int(std::lround(share * 100))) + "%";
}

// The faces and relations of one group of faces that overlap one another, directly or not.
struct Cluster {
    std::vector<int> oldFaces, newFaces;
    std::vector<const FaceLink*> links;
};

// Why the faces of a cluster cannot have a certain answer; "" when they can.
std::string findDoubt(const Cluster& cluster, const std::vector<SampledFace>& oldFaces,
                      const std::vector<SampledFace>& newFaces)
{
    for (const FaceLink* link : cluster.links) {
        const int newNumber = newFaces[link->newFace].visits.front();
        const int oldNumber = oldFaces[link->oldFace].visits.front();
        if (oldFaces[link->oldFace].samples.empty()) return "the old face could not be sampled";
        if (newFaces[link->newFace].samples.empty()) {
            return "new face " + std::to_string(newNumber) + " could not be sampled";
        }
        if (link->failed) {
            return "the library could not compare new face " + std::to_string(newNumber) +
                   " with old face " + std::to_string(oldNumber);
        }
        if (link->doubtful) {
            return "the surface of new face " + std::to_string(newNumber) +
                   " and that of old face " + std::to_string(oldNumber) +
                   " coincide only in part";
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

} // namespace

std::vector<FaceAnswer> decideMatches(const std::vector<SampledFace>& oldFaces,
                                     const std::vector<SampledFace>& newFaces,
                                     const std::vector<FaceLink>& links,
                                     const MatchTolerance& tolerance)
{
    // Faces that overlap, directly or through others, are decided together.
    const int oldCount = int(oldFaces.size());
    std::vector<int> parent(oldFaces.size() + newFaces.size());
    std::iota(parent.begin(), parent.end(), 0);
    std::vector<std::vector<int>> facingAway(oldFaces.size());
    for (const FaceLink& link : links) {
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
    for (const FaceLink& link : links) {
        if (!facesAway(link)) clusters[findRoot(parent, link.oldFace)].links.push_back(&link);
    }

    std::vector<FaceAnswer> answers(oldFaces.size());
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
            FaceAnswer& answer = answers[o];
            for (const FaceLink* link : cluster.links) {
                if (link->oldFace != o) continue;
                answer.kept += link->oldOnNew.inside;
                answer.newFaces.push_back(link->newFace);
            }
            answer.kept = std::min(answer.kept, 1.0); // new faces that lie on each other
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
    return answers;
}
