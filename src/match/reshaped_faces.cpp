#include "reshaped_faces.hpp"

#include "surface_change.hpp"

#include <algorithm>
#include <map>

#include <BRep_Tool.hxx>
#include <NCollection_DataMap.hxx>
#include <TopExp_Explorer.hxx>
#include <TopTools_ShapeMapHasher.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Edge.hxx>

namespace {

// The one new face that each old face certainly became, -1 for none or several.
std::vector<int> findSingleImages(const std::vector<FaceAnswer>& answers)
{
    std::vector<int> images;
    for (const FaceAnswer& answer : answers) {
        const bool single =
            (answer.kind == MatchKind::same || answer.kind == MatchKind::changed) &&
            answer.newFaces.size() == 1;
        images.push_back(single ? answer.newFaces.front() : -1);
    }
    return images;
}

// The new faces that stand where the old face's neighbours went, and that take its place among
// them: unclaimed, of its kind of surface, with exactly those neighbours.
std::vector<int> findPlaceTakers(int o, const std::vector<SampledFace>& oldFaces,
                                 const std::vector<SampledFace>& newFaces,
                                 const std::vector<std::vector<int>>& oldNeighbours,
                                 const std::vector<std::vector<int>>& newNeighbours,
                                 const std::vector<int>& images, const std::vector<char>& claimed)
{
    std::vector<int> around;
    for (const int h : oldNeighbours[std::size_t(o)]) {
        if (images[std::size_t(h)] < 0) return {}; // a side that is not certain
        around.push_back(images[std::size_t(h)]);
    }
    std::sort(around.begin(), around.end());
    // Two neighbours in one new face: their sides are no longer told apart.
    if (around.empty() || std::adjacent_find(around.begin(), around.end()) != around.end()) {
        return {};
    }
    std::vector<int> takers;
    for (const int n : newNeighbours[std::size_t(around.front())]) {
        if (claimed[std::size_t(n)] ||
            newFaces[std::size_t(n)].type != oldFaces[std::size_t(o)].type ||
            newNeighbours[std::size_t(n)] != around) {
            continue;
        }
        takers.push_back(n);
    }
    return takers;
}

} // namespace

std::vector<std::vector<int>> findNeighbours(const std::vector<SampledFace>& faces)
{
    NCollection_DataMap<TopoDS_Shape, std::vector<int>, TopTools_ShapeMapHasher> byEdge;
    for (int i = 0; i < int(faces.size()); ++i) {
        for (TopExp_Explorer edges(faces[std::size_t(i)].face, TopAbs_EDGE); edges.More();
             edges.Next()) {
            const TopoDS_Edge& edge = TopoDS::Edge(edges.Current());
            if (BRep_Tool::Degenerated(edge)) continue;
            if (!byEdge.IsBound(edge)) byEdge.Bind(edge, {});
            byEdge.ChangeFind(edge).push_back(i);
        }
    }
    std::vector<std::vector<int>> neighbours(faces.size());
    for (NCollection_DataMap<TopoDS_Shape, std::vector<int>, TopTools_ShapeMapHasher>::Iterator it(
             byEdge);
         it.More(); it.Next()) {
        const std::vector<int>& sharing = it.Value();
        for (const int a : sharing) {
            for (const int b : sharing) {
                if (a != b) neighbours[std::size_t(a)].push_back(b);
            }
        }
    }
    for (std::vector<int>& list : neighbours) {
        std::sort(list.begin(), list.end());
        list.erase(std::unique(list.begin(), list.end()), list.end());
    }
    return neighbours;
}

void findReshapedFaces(const std::vector<SampledFace>& oldFaces,
                       const std::vector<SampledFace>& placed,
                       const std::vector<SampledFace>& newFaces, double tolerance,
                       std::vector<FaceAnswer>& answers)
{
    const std::vector<std::vector<int>> oldNeighbours = findNeighbours(oldFaces);
    const std::vector<std::vector<int>> newNeighbours = findNeighbours(newFaces);
    const std::vector<int> images = findSingleImages(answers);
    std::vector<char> claimed(newFaces.size(), 0);
    for (const FaceAnswer& answer : answers) {
        if (!isCertain(answer.kind)) continue;
        for (const int n : answer.newFaces) claimed[std::size_t(n)] = 1;
    }
    std::map<int, std::vector<int>> claims; // new face: the old faces whose place it takes
    for (int o = 0; o < int(oldFaces.size()); ++o) {
        FaceAnswer& answer = answers[std::size_t(o)];
        if (answer.kind != MatchKind::gone || oldFaces[std::size_t(o)].samples.empty()) continue;
        const std::vector<int> takers =
            findPlaceTakers(o, oldFaces, newFaces, oldNeighbours, newNeighbours, images, claimed);
        if (takers.size() == 1) {
            claims[takers.front()].push_back(o);
        } else if (takers.size() > 1) {
            std::vector<int> numbers;
            for (const int n : takers) numbers.push_back(newFaces[std::size_t(n)].visits.front());
            std::sort(numbers.begin(), numbers.end());
            answer.kind = MatchKind::unsure;
            answer.reason =
                "new faces " + joinNumbers(numbers) + " each take its place among its neighbours";
        }
    }
    for (const auto& [n, olds] : claims) {
        const int newNumber = newFaces[std::size_t(n)].visits.front();
        if (olds.size() > 1) {
            std::vector<int> numbers;
            for (const int o : olds) numbers.push_back(oldFaces[std::size_t(o)].visits.front());
            for (const int o : olds) {
                answers[std::size_t(o)].kind = MatchKind::unsure;
                answers[std::size_t(o)].reason = "old faces " + joinNumbers(numbers) +
                                                 " each fit the place of new face " +
                                                 std::to_string(newNumber);
            }
            continue;
        }
        const int o = olds.front();
        FaceAnswer& answer = answers[std::size_t(o)];
        std::string change;
        switch (describeSurfaceChange(placed[std::size_t(o)], newFaces[std::size_t(n)], tolerance,
                                      change)) {
        case SurfaceChange::dimension:
            answer.kind = MatchKind::reshaped;
            answer.newFaces = {n};
            answer.kept = 0;
            answer.reason = change;
            break;
        case SurfaceChange::cutAway:
            answer.reason += "; new face " + std::to_string(newNumber) +
                             " takes its place among its neighbours, " + change +
                             ": it was cut away and another face made";
            break;
        case SurfaceChange::otherWay:
            answer.kind = MatchKind::unsure;
            answer.reason = "new face " + std::to_string(newNumber) +
                            " takes its place among its neighbours, but " + change;
            break;
        }
    }
}
