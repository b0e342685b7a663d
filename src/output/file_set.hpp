#pragma once

#include <optional>
#include <string>
#include <vector>

/// One file of a set that replaceFileSet changes all at once.
struct SetFile {
    std::string path;                 ///< the file to replace, to make or to remove
    std::optional<std::string> bytes; ///< what it is to hold; none to remove it
    std::optional<std::string> was; ///< what it must still hold (read through a link); unchecked
                                    ///< when none
};

/// Gives each file of `files` its bytes (or removes it), all of them or none, even when the
/// process is killed
/// at any moment, SIGKILL included. Each new file, and a copy of each file it replaces (a link
/// as the same link), is first made whole in `journal`, a directory made for it beside the
/// files' own; the plan naming them is written last, and from then on the set counts as
/// written: the new files are renamed into place in order. A regular file keeps its mode; a
/// symbolic link is replaced, never followed; a missing directory for a new file is made.
/// Returns the problems; when there are any, no file was changed, unless a rename failed half
/// way and putting the old files back failed too (the last problem says so), which
/// settleFileSet finishes. Holds a lock on the journal's directory while it works.
std::vector<std::string> replaceFileSet(const std::string& journal,
                                        const std::vector<SetFile>& files);

/// What settleFileSet found in a journal.
enum class SetFound {
    none,      ///< no journal: nothing was under way
    busy,      ///< another process holds the journal: a set is under way there
    dropped,   ///< a set stopped before its plan was written: the files are as they were
    completed, ///< a set stopped after its plan was written: the files now hold the new bytes
    undone,    ///< a set turned back (a rename failed): the files are as they were again
};

/// What settleFileSet found and did.
struct SetSettling {
    SetFound found = SetFound::none;
    std::string reason;  ///< for `undone`: the rename that failed
    std::string problem; ///< why it could not settle (another process holds the journal, or a
                         ///< file could not be put back); the journal is then left as it is
};

/// Settles a replaceFileSet that was stopped: rolled forward once its plan is written, back
/// before, then the journal removed.
SetSettling settleFileSet(const std::string& journal);
