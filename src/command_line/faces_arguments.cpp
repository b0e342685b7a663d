#include "faces_arguments.hpp"

#include "cache_options.hpp"
#include "option_value.hpp"

#include "../binding/list_carry.hpp"
#include "../intake/same_files.hpp"
#include "../paths/narrow_form.hpp"
#include "../run_state/run_state.hpp"

#include <locale>
#include <map>
#include <stdexcept>

const char* const facesUsageText =
    "usage: tarnfold-faces [options] <dataset-root>\n"
    "       tarnfold-faces [options] --model FILE.step\n"
    "       tarnfold-faces --model NEW.step --since OLD.step\n"
    "       tarnfold-faces <dataset-root>... --since OLD.step\n"
    "                      [--rewrite [--allow-split-merge] [--allow-reshaped]]\n"
    "       tarnfold-faces <dataset-root>... --follow\n"
    "                      [--rewrite [--allow-split-merge] [--allow-reshaped]]\n"
    "       tarnfold-faces <dataset-root> --accept\n";

std::string facesHelpText()
{
    return std::string(facesUsageText)
           + "\nPrints one tab-separated row per face of the model, numbered as tarnfold\n"
                 "numbers them: face, type, area, centre of area (cx cy cz), a point inside the\n"
                 "face (px py pz), the unit normal there (nx ny nz), the list that names the\n"
                 "face (force, restraint, both or -) and, for a face visited twice, the number\n"
                 "of its first visit (same_as). With a dataset root, the model is the one that\n"
                 "<dataset-root>/data/address.txt names, and its lists are marked; the last\n"
                 "column (stale) says yes for a listed face that is no longer the face its list\n"
                 "was written for, when the model changed since the last run of tarnfold.\n\n"
                 "  --svg FILE       also draw the model to FILE (SVG)\n"
                 "  --html FILE      also write FILE, a self-contained page that shows the model\n"
                 "                   in 3D in a browser, to point at faces and pick the lists\n"
                 "  --view NAME      iso, iso-back, front, back, left, right, top, bottom;\n"
                 "                   repeatable, one panel each (default: iso and iso-back with\n"
                 "                   a dataset, iso with --model); the page opens on the first\n"
                 "  --labels WHICH   listed (default with a dataset), all (default with\n"
                 "                   --model) or none\n"
                 "  --model FILE     the faces of a STEP model, without a dataset\n"
                 "  --since OLD      compare with OLD, an earlier revision of the model: one row\n"
                 "                   per face of OLD (with a dataset: per face its lists name),\n"
                 "                   old, new (its number(s) now, or -), match (same, changed,\n"
                 "                   split, merged, reshaped, gone or unsure), list, kept (share\n"
                 "                   of its area found again), reason; a model moved as a whole\n"
                 "                   is matched through the motion, which a note names; where\n"
                 "                   data/last-run.tsv binds the lists to OLD, only the entries\n"
                 "                   that tarnfold checks are followed (as with --follow)\n"
                 "  --follow         with a dataset: as --since, the old revision being the model\n"
                 "                   of the last run of tarnfold on it, as data/last-run.tsv and\n"
                 "                   the face files of that run hold it (without a record, the\n"
                 "                   face files of an earlier run); only the entries that\n"
                 "                   tarnfold checks are followed, and carried with --rewrite\n"
                 "  --rewrite        with a dataset and --since or --follow: make its lists name\n"
                 "                   the new numbers, only if every listed face is same or\n"
                 "                   changed; the old lists are kept in data/force.orig/ and\n"
                 "                   restraint.orig/, and data/last-run.tsv records the lists as\n"
                 "                   written for the new revision. All or nothing: everything is\n"
                 "                   prepared in data/carry.tmp/, then renamed into place; a\n"
                 "                   carry killed half way is completed or undone by the next\n"
                 "                   command on the dataset, before it reads the lists\n"
                 "  --accept         bind the dataset's lists, as they stand, to its model as it\n"
                 "                   is now, for lists rewritten by hand: one row per entry\n"
                 "                   (list, line, face, before: same, other or none, what the\n"
                 "                   last run bound it to); data/last-run.tsv is written anew,\n"
                 "                   and face files of the last run that no longer hold their\n"
                 "                   face are removed (tarnfold then writes the listed ones)\n"
                 "  --allow-split-merge  also carry split and merged faces over: a split face's\n"
                 "                   record is repeated for each new face, so its further numbers\n"
                 "                   count once per face\n"
                 "  --allow-reshaped also carry reshaped faces over (a resized hole, a thicker\n"
                 "                   plate): a load on a resized face may need new values\n"
           + cacheOptionsHelp
           + "  -h, --help       show this help\n"
                 "  --version        show the version of tarnfold-faces and of OpenCASCADE\n\n"
                 "The model cache (see tarnfold --help) is where a model this command reads for\n"
                 "its table, picture or page is left for tarnfold to find; the command itself\n"
                 "reads the STEP file every time, and --since and --follow do not use the cache.\n"
                 "The STEP reader's messages go to stderr, so that stdout holds the table alone.\n"
                 "When the STEP transfer gives several shapes, only the last one's faces are\n"
                 "numbered; a note on stderr, the picture and the page say so. A page is written\n"
                 "with three.js from Debian's package libjs-three inside it.\n"
                 "--since and --follow take several dataset roots: each model file is read once,\n"
                 "and one table is printed whose first column is dataset; each dataset's rows,\n"
                 "and its lists carried over with --rewrite, are what it would get alone, and the\n"
                 "last line on stderr names the datasets with doubts.\n"
                 "Exit status: 0 when everything was read and written (with --since or\n"
                 "--follow: and every row is same, changed, split, merged or reshaped), 1 when\n"
                 "an error was reported on stderr (a crash of the STEP library included, a\n"
                 "stale listed face; with --since or --follow, also a row that is gone or\n"
                 "unsure), 2 for a usage error, 128+N when stopped by signal N.\n";
}

FacesOptions parseFacesArguments(int argc, char** argv)
{
    FacesOptions options;
    options.cache = cacheFromEnvironment();
    std::vector<std::string> operands;
    walkArguments(argc, argv, operands, options.cache, [&](const std::string& argument, int& i) {
        std::string value;
        if (takeOptionValue("--svg", argc, argv, i, value)) {
            if (value.empty()) throw std::invalid_argument("--svg needs a file name");
            options.svgFile = value;
        } else if (takeOptionValue("--html", argc, argv, i, value)) {
            if (value.empty()) throw std::invalid_argument("--html needs a file name");
            options.htmlFile = value;
        } else if (takeOptionValue("--model", argc, argv, i, value)) {
            if (value.empty()) throw std::invalid_argument("--model needs a file name");
            options.modelFile = value;
        } else if (takeOptionValue("--since", argc, argv, i, value)) {
            if (value.empty()) throw std::invalid_argument("--since needs a file name");
            options.sinceFile = value;
        } else if (argument == "--follow") {
            options.follow = true;
        } else if (argument == "--accept") {
            options.accept = true;
        } else if (argument == "--rewrite") {
            options.rewrite = true;
        } else if (argument == "--allow-split-merge") {
            options.allowSplitMerge = true;
        } else if (argument == "--allow-reshaped") {
            options.allowReshaped = true;
        } else if (takeOptionValue("--view", argc, argv, i, value)) {
            View view;
            if (!parseView(value, view)) {
                throw std::invalid_argument("unknown view '" + value +
                                            "' (iso, iso-back, front, "
                                            "back, left, right, top or bottom)");
            }
            options.views.push_back(view);
        } else if (takeOptionValue("--labels", argc, argv, i, value)) {
            if (value == "listed") {
                options.labels = LabelChoice::listed;
            } else if (value == "all") {
                options.labels = LabelChoice::all;
            } else if (value == "none") {
                options.labels = LabelChoice::none;
            } else {
                throw std::invalid_argument("unknown --labels value '" + value +
                                            "' (listed, all or none)");
            }
            options.labelsGiven = true;
        } else {
            return false;
        }
        return true;
    });
    if (options.modelFile.empty() && operands.empty()) {
        throw std::invalid_argument("no dataset root given");
    }
    if (operands.size() > 1 && options.sinceFile.empty() && !options.follow) {
        throw std::invalid_argument("more than one dataset root given; several go with --since "
                                    "or --follow");
    }
    if (!options.modelFile.empty() && !operands.empty()) {
        throw std::invalid_argument("a dataset root and --model given; give one of them");
    }
    // Carried twice, a dataset's lists would name wrong faces.
    const FileGroups same = groupSameFiles(operands);
    std::map<std::string, std::size_t> firstByText;
    std::vector<std::size_t> firstInGroup(std::size_t(same.count), operands.size());
    for (std::size_t i = 0; i < operands.size(); ++i) {
        const int group = same.groupOf[i];
        const auto [text, isNew] = firstByText.emplace(operands[i], i);
        std::size_t first = operands.size();
        if (!isNew) {
            first = text->second;
        } else if (group >= 0) {
            first = firstInGroup[std::size_t(group)];
        }
        if (first < operands.size()) {
            throw std::invalid_argument("the dataset '" + operands[first] + "' is named twice (" +
                                        (operands[i] == operands[first]
                                             ? std::string("again")
                                             : "again as '" + operands[i] + "'") +
                                        ")");
        }
        if (group >= 0) firstInGroup[std::size_t(group)] = i;
    }
    options.datasetRoots = operands;
    if (!options.sinceFile.empty() && (!options.svgFile.empty() || !options.htmlFile.empty() ||
                                       !options.views.empty() || options.labelsGiven)) {
        throw std::invalid_argument("--since prints the table of two revisions and draws nothing; "
                                    "draw the new one without --since");
    }
    if (options.follow && (!options.sinceFile.empty() || options.datasetRoots.empty())) {
        throw std::invalid_argument(options.sinceFile.empty()
                                        ? "--follow needs a dataset root"
                                        : "--follow and --since name the old revision two ways; "
                                          "give one of them");
    }
    if (options.follow && (!options.svgFile.empty() || !options.htmlFile.empty() ||
                           !options.views.empty() || options.labelsGiven)) {
        throw std::invalid_argument("--follow prints the table of two revisions and draws "
                                    "nothing; draw the new one without --follow");
    }
    if (options.rewrite && ((options.sinceFile.empty() && !options.follow) ||
                            options.datasetRoots.empty())) {
        throw std::invalid_argument("--rewrite needs a dataset root and --since or --follow");
    }
    if (options.accept &&
        (options.datasetRoots.size() != 1 || options.follow || options.rewrite ||
         !options.sinceFile.empty() || !options.svgFile.empty() || !options.htmlFile.empty() ||
         !options.views.empty() || options.labelsGiven)) {
        throw std::invalid_argument("--accept takes one dataset root and no other option");
    }
    if (options.allowSplitMerge && !options.rewrite) {
        throw std::invalid_argument("--allow-split-merge goes with --rewrite");
    }
    if (options.allowReshaped && !options.rewrite) {
        throw std::invalid_argument("--allow-reshaped goes with --rewrite");
    }
    return options;
}


std::string firstDatasetRoot(const FacesOptions& options)
{
    return options.datasetRoots.empty() ? std::string() : options.datasetRoots.front();
}

NamedInputs readNamedInputs(const FacesOptions& options, const std::string& root,
                            RunState* state)
{
    NamedInputs named;
    if (options.modelFile.empty()) {
        enterPhase(state, RunPhase::walking);
        if (state) recordText(state->datasetRoot, root);
        named.notes = settleInterruptedCarry(root);
        std::ifstream stream;
        stream.imbue(std::locale::classic());
        named.problems = walkDataset(nativePath(root), stream, named.inputs);
    } else {
        named.inputs.modelPath = options.modelFile;
    }
    return named;
}
