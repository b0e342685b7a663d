#include "tool_arguments.hpp"

#include "cache_options.hpp"

#include <cstring>

const char* const toolUsageLine =
    "usage: tarnfold [--cache DIR] [--cache-size SIZE] <dataset-root>";

std::string toolHelpText()
{
    return std::string(toolUsageLine) + "\n\n" +
           "Reads <dataset-root>/data: the face numbers listed in the files of force/ and\n"
           "restraint/, and the STEP model named by address.txt. Writes each listed face\n"
           "of the model to <dataset-root>/data/face<N>.brep in BRep text format, and\n"
           "the record of the run to <dataset-root>/data/last-run.tsv, and removes the\n"
           "face files its last run wrote for faces no list names now.\n\n"
           "Lists are bound entry by entry: when the model changed since the last run,\n"
           "each entry whose face number the record holds for its kind of list must\n"
           "still select that face, whatever else in its file changed; otherwise\n"
           "nothing is written. Without a record, the face files of an earlier run in\n"
           "data/ tell what the lists were written for. Other entries are taken as\n"
           "written for the model as it is now, with a note. To carry the lists over,\n"
           "see tarnfold-faces <dataset-root> --follow; to bind lists rewritten by hand\n"
           "to the model as it is now, tarnfold-faces <dataset-root> --accept.\n\n"
           "Exit status: 0 when every input was read whole and every listed face written,\n"
           "1 when anything was reported on stderr (stale lists, a face file in data/ that\n"
           "it did not write and that holds another face than its number's, and a crash\n"
           "of the STEP library included), 2 for a usage error, 128+N when stopped by\n"
           "signal N.\n\n"
           "With a model cache, a model read once is kept in it: what the STEP reader\n"
           "printed, the bytes of every face file and what the record takes from the\n"
           "model, keyed by the SHA-256 of the STEP file, the versions of OpenCASCADE and\n"
           "tarnfold and the reader settings. A run that finds its model there reads no\n"
           "STEP file, and prints, writes and exits byte for byte as without it.\n\n" +
           cacheOptionsHelp +
           "  -h, --help         show this help\n"
           "  --version          show the version of tarnfold and of OpenCASCADE\n"
           "A dataset root of one of these names can be given as ./--help.\n";
}

ToolArguments parseToolArguments(int argc, char** argv)
{
    ToolArguments arguments;
    arguments.cache = cacheFromEnvironment();
    const char* root = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!takeCacheOption(argc, argv, i, arguments.cache) && !root) root = argv[i];
    }
    if (!root) {
        arguments.action = ToolAction::usage;
    } else if (std::strcmp(root, "-h") == 0 || std::strcmp(root, "--help") == 0) {
        arguments.action = ToolAction::help;
    } else if (std::strcmp(root, "--version") == 0) {
        arguments.action = ToolAction::version;
    } else {
        arguments.root = root;
    }
    return arguments;
}
