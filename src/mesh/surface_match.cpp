#include "surface_match.hpp"

#include "../follow/face_links.hpp"
#include "../follow/face_sampling.hpp"
#include "../follow/revision_match.hpp"

#include <algorithm>


namespace {

// The faces of `shapes` sampled as the revision matcher samples a model's, one entry each, in
// order: each is given as a model of its own, so that two equal faces stay two entries.
template <typename Item, typename Face>
std::vector<SampledFace> sampleEach(const std::vector<Item>& items, Face face)
{
    std::vector<SampledFace> sampled;
    sampled.reserve(items.size());
    for (const Item& item : items) {
        std::vector<SampledFace> one = sampleModelFaces(face(item));
        sampled.push_back(std::move(one.front()));
    }
    return sampled;
}

// One surface, facing one way, each face wholly on the other: the same bounds, or bounds that
// differ only by a vertex that gmsh put on an edge.
bool coincide(const FaceLink& link)
{
    constexpr double whole = 0.999;
    return !link.doubtful &&
           (link.sameBounds || (link.oldOnNew.inside + link.oldOnNew.boundary >= whole &&
                                link.newOnOld.inside + link.newOnOld.boundary >= whole));
}

std::string joinTags(std::vector<int> tags)
{
    std::sort(tags.begin(), tags.end());
    std::string text;
    for (std::size_t i = 0; i < tags.size(); ++i) {
        if (i > 0) text += i + 1 == tags.size() ? " and " : ", ";
        text += std::to_string(tags[i]);
    }
    return text;
}

std::string describeMissing(const std::vector<int>& same, const std::vector<int>& partial)
{
    if (same.size() > 1) {
        return "several gmsh surfaces coincide with it (" + joinTags(same) + ")";
    }
    if (same.size() == 1) {
        return "gmsh surface " + joinTags(same) + " coincides with it, but surface" +
               (partial.size() > 1 ? "s " : " ") + joinTags(partial) + " also cover" +
               (partial.size() > 1 ? "" : "s") + " part of it";
    }
    if (partial.size() > 1) {
        return "gmsh split it: surfaces " + joinTags(partial) +
               " each hold part of it, and no physical group is made of part of a face";
    }
    if (partial.size() == 1) {
        return "no gmsh surface coincides with it: surface " + joinTags(partial) +
               " lies on it with other bounds";
    }
    return "no gmsh surface coincides with it";
}

} // namespace

std::vector<SurfaceMatch> matchSurfaces(const std::vector<ListedFace>& faces,
                                        const std::vector<GmshSurface>& surfaces)
{
    const std::vector<SampledFace> listed =
        sampleEach(faces, [](const ListedFace& face) { return face.face; });
    const std::vector<SampledFace> theirs =
        sampleEach(surfaces, [](const GmshSurface& surface) { return surface.face; });

    std::vector<std::vector<int>> same(faces.size()), partial(faces.size());
    for (const FaceLink& link : linkFaces(listed, theirs, measureTolerance(listed, theirs))) {
        const int tag = surfaces[std::size_t(link.newFace)].tag;
        if (coincide(link)) {
            same[std::size_t(link.oldFace)].push_back(tag);
        } else if (!isWeak(link) && !facesAway(link)) {
            partial[std::size_t(link.oldFace)].push_back(tag);
        }
    }
    std::vector<SurfaceMatch> matches(faces.size());
    for (std::size_t i = 0; i < faces.size(); ++i) {
        if (same[i].size() == 1 && partial[i].empty()) {
            matches[i].tag = same[i].front();
        } else {
            matches[i].problem = describeMissing(same[i], partial[i]);
        }
    }
    return matches;
}
