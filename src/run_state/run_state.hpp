#pragma once

#include <atomic>
#include <cstddef>
#include <string>

/// The stages of a run, as the supervisor names them when a worker dies.
enum class RunPhase : int {
    starting,
    walking,
    reading,
    transferring,
    writing,
    measuring,
    drawing,
    matching,
    meshing,
    checking,  ///< the lists against the record of the last run
    recording, ///< the record of this run
    carrying,  ///< a dataset's lists and record being replaced by the ones carried over
    reporting, ///< a batch worker handing a dataset's results to its supervisor
    caching,   ///< the model's entry in the model cache
    finished,
};

/// Text that one side stores and another reads while it may change: a progress thread beside
/// the run, or a supervisor after its worker died half-way through a store. Every byte is an
/// atomic, and the version word is odd while the text changes, so that a reader gets the whole
/// text or none, never a mix of an old and a new one.
struct SharedText {
    static constexpr std::size_t capacity = 4200; ///< longer than any path the system opens
    std::atomic<unsigned> version{0};
    std::atomic<unsigned> length{0};
    std::atomic<char> bytes[capacity] = {};
};

/// Where a run stands. The supervisor keeps it in memory shared with its worker, which only
/// stores into it (no I/O, no locks), so that a worker's death can be explained and its
/// temporary file removed. Code that runs without a supervisor passes a null RunState*.
struct RunState {
    std::atomic<int> phase{static_cast<int>(RunPhase::starting)};
    std::atomic<int> faceNumber{0};       ///< the face being written
    std::atomic<int> filesWritten{0};     ///< files written whole so far
    std::atomic<bool> showsProgress{false};   ///< a progress line follows the run on a terminal
    std::atomic<bool> progressOnScreen{false}; ///< the progress line stands on the terminal now
    std::atomic<int> transferPermille{0}; ///< how far the transfer has come, from the library
    std::atomic<int> facesToWrite{0};     ///< face files the export will write, when shown
    std::atomic<int> datasetsBegun{0};    ///< datasets a batch's model worker has begun
    std::atomic<int> stopRequest{0};      ///< the stop signal the supervisor asks it to end by
    std::atomic<int> modelCache{0};       ///< how the model came: a ModelCacheUse
    SharedText modelPath;                 ///< the model being read
    SharedText datasetRoot;               ///< the dataset being walked
    SharedText temporary;                 ///< a temporary file that may exist now, "" when none
};

/// How a run had its model, for a batch to count: with no cache, found in the cache, read from its
/// file and kept there, or read from its file and not kept (the cache could not keep it, or the
/// geometry was needed).
enum class ModelCacheUse : int { none, found, kept, read };

/// Records that the run has entered `phase`; does nothing when `state` is null.
void enterPhase(RunState* state, RunPhase phase);

/// Records the face being written.
void enterFaceWrite(RunState* state, int faceNumber);

/// Stores `text` in `field` whole; a text too long for it is stored as none. False then.
bool recordText(SharedText& field, const std::string& text);

/// The text stored in `field`; "" when there is none, or when its store was left half-done.
std::string readText(const SharedText& field);

/// Records the temporary file that may exist from now on ("" once it is gone or renamed).
void recordTemporary(RunState* state, const std::string& path);
