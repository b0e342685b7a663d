#include "follow_revision.hpp"

#include "../console/error_printer.hpp"
#include "../console/library_messages.hpp"
#include "../console/progress.hpp"
#include "face_sampling.hpp"
#include "list_rewrite.hpp"
#include "match_table.hpp"
#include "revision_match.hpp"

#include "../intake/dataset_inputs.hpp"
#include "../intake/list_entries.hpp"
#include "../model/step_import.hpp"
#include "../run/run_state.hpp"
#include "../run/worker.hpp"

#include <algorithm>
#include <iostream>
#include <locale>
#include <utility>

int followRevision(const FollowRequest& request, const DatasetInputs& inputs, bool complete,
                   RunState* state)
{
    const bool withDataset = !request.datasetRoot.empty();

    sendLibraryMessagesToStderr();
    installLibrarySignalHandlers();
    ProgressLine progress;
    if (state) startProgressLine(progress, *state);
    STEPControl_Reader oldReader, newReader;
    std::string oldError, newError;
    const TopoDS_Shape oldShape = importStepModel(oldReader, request.sinceFile, oldError, state);
    TopoDS_Shape newShape;
    if (oldError.empty()) newShape = importStepModel(newReader, inputs.modelPath, newError, state);
    stopProgressLine(progress);
    if (withDataset && inputs.modelPath.empty() && oldError.empty()) {
        newError = describeUnnamedModel(request.datasetRoot);
    }
    if (!oldError.empty() || !newError.empty()) {
        reportProblems({oldError.empty() ? newError : oldError}, complete);
        return 1;
    }

    // Each revision is numbered by its last shape only; a reader should know when others exist.
    for (const auto& [reader, which] : {std::pair{&oldReader, "the old revision"},
                                        std::pair{&newReader, "the new revision"}}) {
        const std::string note = describeShapeChoice(countTransferredShapes(*reader));
        if (!note.empty()) printNote(std::string(which) + ": " + note);
    }

    enterPhase(state, RunPhase::matching);
    const std::vector<SampledFace> oldFaces = sampleModelFaces(oldShape);
    const std::vector<SampledFace> newFaces = sampleModelFaces(newShape);
    const RevisionMatch match = compareRevisions(oldFaces, newFaces);
    const std::vector<FaceMatch>& matches = match.faces;
    for (const std::string& note : describeMotionNotes(match)) printNote(note);
    const std::vector<MatchRow> rows = selectMatchRows(matches, withDataset ? &inputs : nullptr);
    std::cout << formatMatchTable(rows) << std::flush;
    if (!std::cout) {
        reportProblems({"cannot write the table to standard output"}, complete);
    }
    const int oldCount = int(matches.size());
    if (withDataset) {
        for (const auto& [list, name] : {std::pair{&inputs.forceFaces, "force"},
                                         std::pair{&inputs.restraintFaces, "restraint"}}) {
            reportProblems(describeUnselectedEntries(*list, name, oldCount, "the old revision"),
                           complete);
        }
    }
    const auto uncertain = std::count_if(rows.begin(), rows.end(), [](const MatchRow& row) {
        return !isCertain(row.match.kind);
    });
    if (uncertain > 0) {
        complete = false;
        printNote(std::to_string(uncertain) + " of " + std::to_string(rows.size()) +
                  (withDataset ? " listed" : "") + " old faces have no certain new number "
                  "(gone or unsure): see the table");
    }

    if (request.rewrite) {
        const ListRewriteReport report =
            rewriteDatasetLists(request.datasetRoot, matches, request.allowSplitMerge,
                                request.allowReshaped);
        reportProblems(report.problems, complete);
        if (!report.problems.empty()) {
            reportProblems({"no list file was rewritten"}, complete);
        }
        for (const std::string& note : report.notes) printNote(note);
    }
    enterPhase(state, RunPhase::finished);
    if (!state) return complete ? 0 : 1;
    endWorker(complete ? 0 : 1);
}
