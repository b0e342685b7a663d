#include "mesh_try.hpp"

#include "gmsh_model.hpp"
#include "gmsh_surfaces.hpp"
#include "surface_match.hpp"

#include "../run/worker.hpp"

#include <gmsh.h>

#include <algorithm>
#include <set>

namespace {

// The healing takes away what is smaller than this share of the model's diagonal.
constexpr double healingShare = 1e-6;

// gmsh's words as one line: its messages may end in blanks and hold doubled ones.
std::string tidy(const std::string& message)
{
    std::string line;
    for (const char c : message) {
        const bool blank = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        if (!blank) {
            line += c;
        } else if (!line.empty() && line.back() != ' ') {
            line += ' ';
        }
    }
    if (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

// The surfaces that bound no volume.
std::vector<int> findFreeSurfaces()
{
    gmsh::vectorpair volumes, bounds;
    gmsh::model::getEntities(volumes, 3);
    std::set<int> bounding;
    if (!volumes.empty()) {
        gmsh::model::getBoundary(volumes, bounds, false, false, false);
        for (const auto& bound : bounds) bounding.insert(bound.second);
    }
    std::vector<int> free;
    for (const int tag : listGmshEntities(2)) {
        if (!bounding.count(tag)) free.push_back(tag);
    }
    return free;
}

// "" when each group's entities hold elements; otherwise which one gmsh left without.
std::string findEmptyEntity(const MeshGroups& groups)
{
    const auto empty = [](int dim, int tag) {
        std::vector<int> types;
        std::vector<std::vector<std::size_t>> tags, nodes;
        gmsh::model::mesh::getElements(types, tags, nodes, dim, tag);
        for (const auto& ofType : tags) {
            if (!ofType.empty()) return false;
        }
        return true;
    };
    for (const auto& volumes : groups.solids) {
        for (const int tag : volumes) {
            if (empty(3, tag)) return "gmsh made no element in volume " + std::to_string(tag);
        }
    }
    for (const auto* surfaces : {&groups.force, &groups.restraint, &groups.shell}) {
        for (const int tag : *surfaces) {
            if (empty(2, tag)) return "gmsh made no element on surface " + std::to_string(tag);
        }
    }
    return {};
}

// Finds the listed faces among gmsh's surfaces into `groups`; "" or why they are not all found.
std::string groupListedFaces(const MeshJob& job, MeshGroups& groups,
                             std::vector<std::string>& notes, RunState* state)
{
    std::string error;
    const std::vector<GmshSurface> surfaces = readGmshSurfaces(job.scratch, error, state);
    if (!error.empty()) return error;
    const std::vector<SurfaceMatch> matches = matchSurfaces(job.faces, surfaces);
    std::string problems;
    for (std::size_t i = 0; i < job.faces.size(); ++i) {
        const SurfaceMatch& match = matches[i];
        if (!match.problem.empty()) {
            problems += (problems.empty() ? "face " : "; face ") +
                        std::to_string(job.faces[i].number) + ": " + match.problem;
            continue;
        }
        if (!match.note.empty() && std::find(notes.begin(), notes.end(), match.note) == notes.end()) {
            notes.push_back(match.note);
        }
        auto& to = job.faces[i].force ? groups.force : groups.restraint;
        to.insert(to.end(), match.tags.begin(), match.tags.end());
        if (job.faces[i].force && job.faces[i].restraint) {
            groups.restraint.insert(groups.restraint.end(), match.tags.begin(), match.tags.end());
        }
    }
    return problems;
}

} // namespace

std::vector<MeshTry> listMeshTries(bool solids)
{
    const MeshTry finerCurves{"healed, 24 elements a turn on curved faces", true, 6, 1, 24};
    const MeshTry coarser{"healed, twice as coarse", true, 6, 1, 12, 2};
    if (solids) {
        return {{"as imported"},
                {"healed", true},
                {"healed, with gmsh's HXT 3D algorithm", true, 6, 10},
                finerCurves,
                coarser};
    }
    return {{"as imported"},
            {"healed", true},
            {"healed, with gmsh's MeshAdapt 2D algorithm", true, 1},
            finerCurves,
            coarser};
}

TryOutcome runMeshTry(const MeshJob& job, const MeshTry& attempt, RunState* state)
{
    TryOutcome outcome;
    try {
        startGmsh();
        if (std::string problem = checkGmshOpenCascade(); !problem.empty()) {
            outcome.reason = std::move(problem);
            return outcome;
        }
        importIntoGmsh(job.shape);
        if (attempt.heal) healGmshModel(healingShare * job.diagonal, job.solids.empty());
        MeshGroups groups;
        if (!job.solids.empty()) {
            outcome.reason = matchVolumes(job.solids, groups.solids);
            if (!outcome.reason.empty()) return outcome;
        }
        outcome.notes = followFragments(fragmentGmshVolumes(), groups.solids);
        outcome.reason = groupListedFaces(job, groups, outcome.notes, state);
        if (!outcome.reason.empty()) return outcome;
        groups.shell = findFreeSurfaces();
        addPhysicalGroups(groups);

        MeshSettings settings = job.settings;
        settings.size *= attempt.coarser;
        settings.algorithm2D = attempt.algorithm2D;
        settings.algorithm3D = attempt.algorithm3D;
        settings.elementsPerTurn = attempt.elementsPerTurn;
        generateMesh(settings);
        const GmshLog log = takeGmshLog();
        if (!log.errors.empty()) {
            outcome.reason = "gmsh: " + tidy(log.errors.front());
            return outcome;
        }
        if (outcome.reason = findEmptyEntity(groups); !outcome.reason.empty()) {
            if (!log.warnings.empty()) outcome.reason += " (gmsh: " + tidy(log.warnings.back()) + ")";
            return outcome;
        }
        for (const std::string& warning : log.warnings) {
            outcome.notes.push_back("gmsh: " + tidy(warning));
        }
        outcome.reason = writeMeshTemporary(job.temporary, job.meshFile, settings, state);
        if (!outcome.reason.empty()) return outcome;
        outcome.summary = describeGroups();
        outcome.meshed = true;
    } catch (const std::string& message) {
        outcome.reason = "gmsh: " + tidy(message);
    } catch (...) {
        outcome.reason = describeCurrentException();
    }
    return outcome;
}
