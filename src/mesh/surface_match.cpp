#include "surface_match.hpp"

#include "../match/face_links.hpp"
#include "../match/face_sampling.hpp"
#include "../match/match_terms.hpp"

#include <algorithm>
#include <cmath>

namespace {

// Shares of a face's samples that count as all of it, and areas that count as equal.
constexpr double whole = 0.999;
constexpr double sameArea = 1e-3;

// The faces of `items` sampled as the revision matcher samples a model's, one entry each, in
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

bool wholly(const Placement& p, bool reversed)
{
    return (reversed ? p.reversed : p.inside) + p.boundary >= whole;
}

// Each wholly on the other, facing one way or the other.
bool coincide(const FaceLink& link, bool reversed)
{
    return !link.doubtful && wholly(link.oldOnNew, reversed) && wholly(link.newOnOld, reversed);
}

bool whollyOn(const Placement& p)
{
    return p.inside + p.reversed + p.boundary >= whole;
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

std::string groupsOf(const ListedFace& face)
{
    if (face.force && face.restraint) return "the force and restraint groups hold";
    return face.force ? "the force group holds" : "the restraint group holds";
}

// How the listed faces and one gmsh surface relate.
struct Relations {
    std::vector<int> same, reversedSame; ///< coincide, facing the same or the other way
    std::vector<int> parts;              ///< lie wholly on the face, without covering it
    std::vector<int> covers;             ///< hold the face wholly, and more
    std::vector<int> partial;            ///< overlap it otherwise
};

std::string describeMissing(const Relations& r)
{
    std::vector<int> same = r.same;
    same.insert(same.end(), r.reversedSame.begin(), r.reversedSame.end());
    std::vector<int> partial = r.partial;
    partial.insert(partial.end(), r.parts.begin(), r.parts.end());
    partial.insert(partial.end(), r.covers.begin(), r.covers.end());
    if (same.size() > 1) return "several gmsh surfaces coincide with it (" + joinTags(same) + ")";
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

    std::vector<Relations> relations(faces.size());
    // For each surface, the listed faces that lie wholly on it.
    std::vector<std::vector<std::size_t>> onSurface(surfaces.size());
    for (const FaceLink& link : linkFaces(listed, theirs, measureTolerance(listed, theirs))) {
        const std::size_t i = std::size_t(link.oldFace), s = std::size_t(link.newFace);
        const int tag = surfaces[s].tag;
        Relations& r = relations[i];
        if (coincide(link, false)) {
            r.same.push_back(tag);
        } else if (coincide(link, true)) {
            r.reversedSame.push_back(tag);
        } else if (link.doubtful || isWeak(link)) {
            if (!facesAway(link)) r.partial.push_back(tag);
        } else if (whollyOn(link.newOnOld)) {
            r.parts.push_back(tag);
        } else if (whollyOn(link.oldOnNew)) {
            r.covers.push_back(tag);
            onSurface[s].push_back(i);
        } else if (!facesAway(link)) {
            r.partial.push_back(tag);
        }
    }

    const auto areaOf = [&](const std::vector<int>& tags) {
        double area = 0;
        for (std::size_t s = 0; s < surfaces.size(); ++s) {
            if (std::count(tags.begin(), tags.end(), surfaces[s].tag)) area += theirs[s].area;
        }
        return area;
    };
    std::vector<SurfaceMatch> matches(faces.size());
    for (std::size_t i = 0; i < faces.size(); ++i) {
        const Relations& r = relations[i];
        SurfaceMatch& match = matches[i];
        const std::string number = "face " + std::to_string(faces[i].number);
        const bool nothingElse = r.parts.empty() && r.covers.empty() && r.partial.empty();
        if (nothingElse && r.same.size() == 1) {
            match.tags = r.same;
        } else if (nothingElse && r.same.empty() && r.reversedSame.size() == 1) {
            match.tags = r.reversedSame;
        } else if (r.same.empty() && r.reversedSame.empty() && r.covers.empty() &&
                   r.partial.empty() && r.parts.size() > 1 &&
                   std::abs(areaOf(r.parts) - listed[i].area) <= sameArea * listed[i].area) {
            match.tags = r.parts;
            match.note = number + " was split into gmsh surfaces " + joinTags(r.parts) + ", which " +
                         groupsOf(faces[i]);
        } else if (r.same.empty() && r.reversedSame.empty() && r.parts.empty() &&
                   r.partial.empty() && r.covers.size() == 1) {
            // Merged: the surface must be this face and other listed faces of the same groups.
            const std::size_t s = std::size_t(std::find_if(surfaces.begin(), surfaces.end(),
                                                           [&](const GmshSurface& surface) {
                                                               return surface.tag == r.covers[0];
                                                           }) - surfaces.begin());
            double covered = 0;
            std::vector<int> numbers;
            bool alike = true;
            for (const std::size_t j : onSurface[s]) {
                covered += listed[j].area;
                numbers.push_back(faces[j].number);
                alike = alike && faces[j].force == faces[i].force &&
                        faces[j].restraint == faces[i].restraint;
            }
            if (alike && std::abs(covered - theirs[s].area) <= sameArea * theirs[s].area) {
                match.tags = r.covers;
                match.note = "faces " + joinTags(numbers) + " were merged into gmsh surface " +
                             joinTags(r.covers) + ", which " + groupsOf(faces[i]);
            } else {
                match.problem = "gmsh surface " + joinTags(r.covers) +
                                " holds it merged with faces that are not in its groups, and no "
                                "physical group is made of more than its faces";
            }
        } else {
            match.problem = describeMissing(r);
        }
    }
    return matches;
}
