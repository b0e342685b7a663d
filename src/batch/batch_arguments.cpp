#include "batch_arguments.hpp"

#include "../command_line/cache_options.hpp"
#include "../command_line/option_value.hpp"
#include "../console/error_printer.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

const char* const batchUsageText =
    "usage: tarnfold-batch [options] <dataset-root>...\n"
    "       tarnfold-batch [options] --from FILE [<dataset-root>...]\n"
    "       tarnfold-batch --cache-stats [--cache DIR]\n";

std::string batchHelpText()
{
    return std::string(batchUsageText)
           + "\nDoes for every dataset what tarnfold does for one, reading each STEP model\n"
                 "once: datasets whose address.txt names the same file share one worker, which\n"
                 "writes the face files of each of them, byte for byte what tarnfold writes,\n"
                 "and the record of each dataset's run (data/last-run.tsv), and checks its\n"
                 "lists and removes the face files its last run wrote for faces no list names\n"
                 "now, as tarnfold does.\n\n"
                 "Prints one tab-separated row per dataset, in input order, as soon as it and\n"
                 "every row before it are known: dataset, status (ok, failed, stale: its lists\n"
                 "no longer name the faces they were written for, crashed, timeout, stopped),\n"
                 "files (face files written) and model. On stderr, each line that\n"
                 "tarnfold would print for a dataset, after the dataset's root and \": \"; and\n"
                 "for each model, a line naming it and then the STEP library's messages.\n\n"
                 "  --from FILE        also the dataset roots in FILE, one a line (- for stdin)\n"
                 "  -j, --jobs N       run up to N model workers at once (default 1), fewer\n"
                 "                     when the limit of open files leaves no room; each\n"
                 "                     holds its model, about 25 MiB per 1,000 faces\n"
                 "  --timeout SECONDS  stop a model's worker after SECONDS (default: no limit)\n"
                 "  --log FILE         write the library's messages to FILE, not to stderr\n"
                 "  --list-groups      print which datasets share a model, and read none\n"
           + cacheOptionsHelp
           + "  --cache-stats      after the rows, tell on stderr how many models the cache\n"
                 "                     gave and kept, and what it holds; alone, print only what\n"
                 "                     it holds\n"
                 "  -h, --help         show this help\n"
                 "  --version          show the version of tarnfold-batch and of OpenCASCADE\n\n"
                 "With a model cache, each model read once is kept in it: what the STEP reader\n"
                 "printed, the bytes of every face file and what the records take from the\n"
                 "model, keyed by the SHA-256 of the STEP file, the versions of OpenCASCADE and\n"
                 "tarnfold and the reader settings. A model found there is not read again; the\n"
                 "rows, messages and files are byte for byte those of a batch without it.\n\n"
                 "Exit status: 0 when every dataset is ok, 1 when any is not, 2 for a usage\n"
                 "error, 128+N when stopped by signal N.\n";
}

namespace {

int parseJobs(const std::string& value)
{
    char* end = nullptr;
    errno = 0;
    const long jobs = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || errno != 0 || jobs < 1 || jobs > 1024) {
        throw std::invalid_argument("--jobs needs a whole number from 1 to 1024, not '" + value +
                                    "'");
    }
    return static_cast<int>(jobs);
}

double parseSeconds(const std::string& value)
{
    char* end = nullptr;
    const double seconds = std::strtod(value.c_str(), &end);
    // A plain decimal number: no sign, exponent, hexadecimal or infinity from strtod's extras.
    const bool plain =
        !value.empty() && value.find_first_not_of("0123456789.") == std::string::npos;
    if (!plain || *end != '\0' || !std::isfinite(seconds) || seconds > 1e9) {
        throw std::invalid_argument("--timeout needs a number of seconds, not '" + value + "'");
    }
    return seconds;
}

} // namespace

BatchOptions parseBatchArguments(int argc, char** argv)
{
    BatchOptions options;
    options.cache = cacheFromEnvironment();
    walkArguments(argc, argv, options.roots, options.cache, [&](const std::string& argument, int& i) {
        std::string value;
        if (takeOptionValue("--from", argc, argv, i, value)) {
            if (value.empty()) throw std::invalid_argument("--from needs a file name");
            if (!options.listFile.empty()) throw std::invalid_argument("--from given twice");
            options.listFile = value;
        } else if (takeOptionValue("--jobs", argc, argv, i, value) ||
                   takeOptionValue("-j", argc, argv, i, value)) {
            options.jobs = parseJobs(value);
        } else if (takeOptionValue("--timeout", argc, argv, i, value)) {
            options.timeoutSeconds = parseSeconds(value);
            options.timeoutText = value;
        } else if (takeOptionValue("--log", argc, argv, i, value)) {
            if (value.empty()) throw std::invalid_argument("--log needs a file name");
            options.logFile = value;
        } else if (argument == "--list-groups") {
            options.listGroups = true;
        } else if (argument == "--cache-stats") {
            options.cacheStats = true;
        } else {
            return false;
        }
        return true;
    });
    if (options.cacheStats && options.cache.directory.empty()) {
        throw std::invalid_argument(std::string("--cache-stats needs a model cache: --cache ") +
                                    "DIR, or " + cacheVariable + " in the environment");
    }
    if (options.roots.empty() && options.listFile.empty() && !options.cacheStats) {
        throw std::invalid_argument("no dataset root given");
    }
    return options;
}

std::string readDatasetList(const std::string& listFile, std::vector<std::string>& roots)
{
    const bool standardInput = listFile == "-";
    const int fd = standardInput ? STDIN_FILENO : ::open(listFile.c_str(), O_RDONLY | O_CLOEXEC);
    const std::string name = standardInput ? "standard input" : "'" + listFile + "'";
    if (fd < 0) return "cannot read dataset list " + name + ": " + systemReason(errno);
    std::string text;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            if (!standardInput) ::close(fd);
            return "cannot read dataset list " + name + ": " + systemReason(error);
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    if (!standardInput) ::close(fd);
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) roots.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return {};
}
