#include "file_set.hpp"

#include "table_fields.hpp"
#include "whole_file.hpp"

#include "../console/error_printer.hpp"
#include "../paths/file_names.hpp"
#include "../paths/file_status.hpp"
#include "../paths/narrow_form.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Written last, and whole: from then on the set counts as written, and is rolled forward.
constexpr const char* planName = "plan";
// The plan under another name, once a failed rename has turned the set back.
constexpr const char* undoName = "undo";
constexpr const char* planHeader = "tarnfold file set 1";

struct PlannedFile {
    std::string path;
    bool kept = false;    ///< it existed, and old<k> in the journal holds it as it was
    bool removed = false; ///< it is to be removed: there is no new<k>
};

struct Plan {
    std::vector<std::string> directories; ///< made for new files, in order
    std::vector<PlannedFile> files;       ///< new<k> in the journal is renamed to file k-1
};

std::string stagedName(const std::string& journal, const char* kind, std::size_t index)
{
    return journal + "/" + kind + std::to_string(index + 1);
}

std::string failure(const char* what, const std::string& path, int error)
{
    return std::string(what) + " '" + path + "': " + systemReason(error);
}

// False when another process holds the lock on the journal's directory. Where the file system
// has no locks (some network file systems), the work goes on without one.
bool lockJournal(const std::string& journal, DirectoryLock& lock)
{
    return lockDirectory(narrowForm(nativePath(journal).parent_path()), lock);
}

std::string formatPlan(const Plan& plan)
{
    std::string text = std::string(planHeader) + "\n";
    for (const std::string& directory : plan.directories) {
        text += "directory\t" + escapeField(directory) + "\n";
    }
    for (const PlannedFile& file : plan.files) {
        const char* kind = file.removed ? "remove" : file.kept ? "replace" : "make";
        text += std::string(kind) + "\t" + escapeField(file.path) + "\n";
    }
    return text + "end\n";
}

// A plan without its last line was stopped while it was written: the set was never begun.
bool parsePlan(const std::string& text, Plan& plan)
{
    std::istringstream lines(text);
    std::string line, path;
    if (!std::getline(lines, line) || line != planHeader) return false;
    while (std::getline(lines, line)) {
        if (line == "end") return true;
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos || !unescapeField(line.substr(tab + 1), path)) return false;
        const std::string kind = line.substr(0, tab);
        if (kind == "directory") {
            plan.directories.push_back(path);
        } else if (kind == "replace" || kind == "make" || kind == "remove") {
            plan.files.push_back({path, kind != "make", kind == "remove"});
        } else {
            return false;
        }
    }
    return false;
}

// Checks the directory that `path` goes into (made when missing) for being on the journal's
// file system, `device`, where a rename reaches it.
std::string checkDirectory(const std::string& path, const std::string& journal,
                           std::uint64_t device, Plan& plan)
{
    const std::string directory = narrowForm(nativePath(path).parent_path());
    FileStatus status;
    if (const int error = statusOf(directory, status); error != 0) {
        if (error != ENOENT) return failure("cannot look at", directory, error);
        const std::string above = narrowForm(nativePath(directory).parent_path());
        if (const int aboveError = statusOf(above, status); aboveError != 0) {
            return failure("cannot make", directory, aboveError);
        }
        if (std::count(plan.directories.begin(), plan.directories.end(), directory) == 0) {
            plan.directories.push_back(directory);
        }
    } else if (!status.directory) {
        return failure("cannot make", directory, EEXIST);
    }
    if (status.device == device) return {};
    return "cannot write '" + path + "': '" + directory + "' is on another file system than '" +
           journal + "'";
}

// Puts the old file aside in the journal (a link as the same link, a file with its mode) and
// the new one beside it, whole, with the mode the old one had.
std::string stageFile(const std::string& journal, std::size_t index, const SetFile& file,
                      Plan& plan)
{
    PlannedFile& planned = plan.files.emplace_back(PlannedFile{file.path, false, !file.bytes});
    const std::string old = stagedName(journal, "old", index);
    std::string bytes, problem;
    FileStatus status;
    bool keepMode = false;
    const int looked = linkStatusOf(file.path, status);
    if (looked == 0) {
        planned.kept = true;
        int modeError = 0;
        if (status.link) {
            std::error_code error;
            const fs::path target = fs::read_symlink(nativePath(file.path), error);
            if (!error) fs::create_symlink(target, nativePath(old), error);
            if (error) return "cannot keep the link '" + file.path + "': " + error.message();
        } else if (!status.regular) {
            return failure("cannot write", file.path, status.directory ? EISDIR : EINVAL);
        } else if (const int error = readToEnd(file.path, bytes, false); error != 0) {
            return failure("cannot read", file.path, error);
        } else if (writeNewFile(old, bytes, problem) != NewFile::written ||
                   (modeError = giveMode(old, status.mode)) != 0) {
            // No problem told and no mode refused: the name was taken.
            if (!problem.empty()) return problem;
            return failure("cannot write", old, modeError != 0 ? modeError : EEXIST);
        }
        keepMode = status.regular;
    } else if (looked != ENOENT) {
        return failure("cannot look at", file.path, looked);
    }
    // Gone already: nothing to remove, nothing to put back.
    if (planned.removed && !planned.kept) return {};
    if (file.was) {
        if (!planned.kept || (!keepMode && readToEnd(file.path, bytes, false) != 0) ||
            bytes != *file.was) {
            return "'" + file.path + "' changed while it was worked on; run again";
        }
    }
    if (planned.removed) return {};
    const std::string staged = stagedName(journal, "new", index);
    if (writeNewFile(staged, *file.bytes, problem) != NewFile::written) {
        return problem.empty() ? failure("cannot write", staged, EEXIST) : problem;
    }
    if (const int error = keepMode ? giveMode(staged, status.mode) : 0; error != 0) {
        return failure("cannot write", staged, error);
    }
    return {};
}

bool exists(const std::string& path)
{
    FileStatus status;
    return linkStatusOf(path, status) == 0;
}

// Renames what the plan has not yet renamed; a staged file that is gone was renamed already.
std::string rollForward(const std::string& journal, const Plan& plan)
{
    for (const std::string& directory : plan.directories) {
        if (const int error = makeDirectory(directory); error != 0 && error != EEXIST) {
            return failure("cannot make", directory, error);
        }
    }
    for (std::size_t k = 0; k < plan.files.size(); ++k) {
        if (plan.files[k].removed) {
            if (const int error = removeFile(plan.files[k].path); error != 0 && error != ENOENT) {
                return failure("cannot remove", plan.files[k].path, error);
            }
            continue;
        }
        const std::string staged = stagedName(journal, "new", k);
        if (!exists(staged)) continue;
        if (const int error = renameFile(staged, plan.files[k].path); error != 0) {
            return failure("cannot write", plan.files[k].path, error);
        }
    }
    return {};
}

// Puts back each file the plan has renamed, the last first: the old one from its copy, or no
// file where there was none.
std::string rollBack(const std::string& journal, const Plan& plan)
{
    for (std::size_t k = plan.files.size(); k-- > 0;) {
        const PlannedFile& file = plan.files[k];
        // Not renamed yet, or not removed yet.
        if (file.removed ? exists(file.path) : exists(stagedName(journal, "new", k))) continue;
        const std::string old = stagedName(journal, "old", k);
        if (const int error = file.kept && exists(old) ? renameFile(old, file.path) : 0;
            error != 0) {
            return failure("cannot put back", file.path, error);
        }
        if (const int error = file.kept ? 0 : removeFile(file.path);
            error != 0 && error != ENOENT) {
            return failure("cannot remove", file.path, error);
        }
    }
    // Only a directory left empty: anything put in it meanwhile stays.
    for (auto directory = plan.directories.rbegin(); directory != plan.directories.rend();
         ++directory) {
        removeDirectory(*directory);
    }
    return {};
}

// Removes the journal, its plan (named `marker`) last: until then a settling still knows what
// the set was. "" or why not.
std::string removeJournal(const std::string& journal, const char* marker)
{
    std::error_code error;
    const fs::path kept = nativePath(journal + "/" + marker);
    for (fs::directory_iterator entry(nativePath(journal), error), end; !error && entry != end;
         entry.increment(error)) {
        if (entry->path() != kept) fs::remove(entry->path(), error);
    }
    if (!error) fs::remove(kept, error);
    if (!error) fs::remove(nativePath(journal), error);
    return error ? "cannot remove '" + journal + "': " + error.message() : std::string();
}

// Carries out a written plan: forward, or, when a rename fails, back again, with `failed`
// saying why. Returns "" or, when the journal is left, why.
std::string carryOut(const std::string& journal, const Plan& plan, std::string& failed)
{
    failed = rollForward(journal, plan);
    if (failed.empty()) return removeJournal(journal, planName);
    // Renamed first, so that a settling after a kill goes on backwards too.
    const std::string written = journal + "/" + planName, undo = journal + "/" + undoName;
    const int turned = renameFile(written, undo);
    std::string back = turned == 0 ? rollBack(journal, plan)
                                   : failure("cannot turn back the plan", written, turned);
    if (back.empty()) back = removeJournal(journal, undoName);
    if (back.empty()) return {};
    return back + "; the next command on it puts the files of '" + journal + "' back";
}

// Reads the plan at `path`: false when there is none, or only part of one.
bool readPlan(const std::string& path, Plan& plan, std::string& problem)
{
    std::string text;
    const int error = readToEnd(path, text, false);
    if (error != 0 && error != ENOENT) problem = failure("cannot read", path, error);
    return error == 0 && parsePlan(text, plan);
}

} // namespace

std::vector<std::string> replaceFileSet(const std::string& journal,
                                        const std::vector<SetFile>& files)
{
    DirectoryLock lock;
    if (!lockJournal(journal, lock)) {
        return {"'" + journal + "' is in use by another process; run again once it has ended"};
    }
    if (const int error = makeDirectory(journal); error != 0) {
        if (error == EEXIST && fs::is_directory(nativePath(journal))) {
            return {"'" + journal + "' is in the way: what an earlier command left there is not "
                    "settled"};
        }
        return {failure("cannot make", journal, error)};
    }
    FileStatus status;
    std::string problem;
    if (const int error = statusOf(journal, status); error != 0) {
        problem = failure("cannot look at", journal, error);
    }
    Plan plan;
    for (std::size_t k = 0; problem.empty() && k < files.size(); ++k) {
        problem = checkDirectory(files[k].path, journal, status.device, plan);
        if (problem.empty()) problem = stageFile(journal, k, files[k], plan);
    }
    if (problem.empty()) {
        writeNewFile(journal + "/" + planName, formatPlan(plan), problem);
    }
    if (!problem.empty()) {
        std::error_code ignored;
        fs::remove_all(nativePath(journal), ignored);
        return {problem};
    }
    std::string failed;
    const std::string left = carryOut(journal, plan, failed);
    std::vector<std::string> problems;
    for (const std::string& line : {failed, left}) {
        if (!line.empty()) problems.push_back(line);
    }
    return problems;
}

SetSettling settleFileSet(const std::string& journal)
{
    SetSettling settling;
    std::string& problem = settling.problem;
    // Anything but a directory at the name is not a journal (a carry then finds it in the way).
    FileStatus status;
    if (linkStatusOf(journal, status) != 0 || !status.directory) return settling;
    DirectoryLock lock;
    if (!lockJournal(journal, lock)) {
        settling.found = SetFound::busy;
        problem = "'" + journal + "' is in use by another process; run again once it has ended";
        return settling;
    }
    // Settled by another process meanwhile.
    if (!exists(journal)) return settling;
    Plan plan;
    if (readPlan(journal + "/" + undoName, plan, problem)) {
        settling.found = SetFound::undone;
        problem = rollBack(journal, plan);
        if (problem.empty()) problem = removeJournal(journal, undoName);
        return settling;
    }
    if (problem.empty() && readPlan(journal + "/" + planName, plan, problem)) {
        problem = carryOut(journal, plan, settling.reason);
        settling.found = settling.reason.empty() ? SetFound::completed : SetFound::undone;
        return settling;
    }
    if (!problem.empty()) return settling;
    // Nothing was renamed yet: what was made for the set is dropped. An empty journal is one
    // that was being removed, or had only just been made.
    std::error_code error;
    settling.found = fs::is_empty(nativePath(journal), error) ? SetFound::none : SetFound::dropped;
    fs::remove_all(nativePath(journal), error);
    if (error) problem = "cannot remove '" + journal + "': " + error.message();
    return settling;
}
