#pragma once

#include "../cache/model_cache.hpp"
#include "../faces/panel.hpp"
#include "../intake/dataset_inputs.hpp"

#include <string>
#include <vector>

struct RunState;

/// What the command line of tarnfold-faces asks for.
struct FacesOptions {
    std::vector<std::string> datasetRoots; ///< none with --model; several only to follow
    std::string modelFile;   ///< "" with a dataset
    std::string svgFile;     ///< "" when no picture is wanted
    std::string htmlFile;    ///< "" when no page is wanted
    std::vector<View> views; ///< empty: the default for the mode
    LabelChoice labels = LabelChoice::listed;
    bool labelsGiven = false;
    std::string sinceFile;   ///< the old revision to compare with; "" when none
    bool follow = false;     ///< compare with the revision of the dataset's last run
    bool rewrite = false;    ///< carry the dataset's lists over to the new revision
    bool allowSplitMerge = false; ///< also carry split and merged faces over
    bool allowReshaped = false;   ///< also carry reshaped faces over
    bool accept = false;     ///< bind the dataset's lists as they stand to its model as it is now
    CacheSettings cache;          ///< where a model read is left for tarnfold to find
};

/// The usage lines, each ended by a newline.
extern const char* const facesUsageText;

/// The text of --help.
std::string facesHelpText();

/// The dataset root that the command line names, "" with --model.
std::string firstDatasetRoot(const FacesOptions& options);

/// What the command line names, with what its reading has to say.
struct NamedInputs {
    DatasetInputs inputs;
    std::vector<std::string> notes;    ///< what a settled carry did, told before the problems
    std::vector<std::string> problems; ///< what the walk could not take in
};

/// What the command line names: the dataset at `root` walked (the walk recorded in `state`,
/// which may be null) once a carry of its lists that was stopped is settled (see
/// settleInterruptedCarry, which may throw), or, for `root` "", the model alone.
NamedInputs readNamedInputs(const FacesOptions& options, const std::string& root,
                            RunState* state);

/// Reads the arguments after the command's name. Throws std::invalid_argument, worded for the
/// user, for a command line it cannot follow.
FacesOptions parseFacesArguments(int argc, char** argv);
