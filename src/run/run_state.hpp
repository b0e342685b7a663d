#pragma once

#include <atomic>
#include <cstddef>

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
    checking,  ///< the lists against the record of the last run
    recording, ///< the record of this run
    finished,
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
    char modelPath[4096] = {};            ///< the model being read, cut short if longer
    char datasetRoot[4096] = {};          ///< the dataset being walked, cut short if longer
    char temporary[4200] = {};            ///< a temporary file that may exist now, "" when none
};

/// Records that the run has entered `phase`; does nothing when `state` is null.
void enterPhase(RunState* state, RunPhase phase);

/// Records the face being written.
void enterFaceWrite(RunState* state, int faceNumber);

/// Copies `text` into a fixed field of the state, cut short to fit and always terminated.
void recordText(char* field, std::size_t size, const char* text);

/// Records the temporary file that may exist from now on ("" once it is gone or renamed).
void recordTemporary(RunState* state, const char* path);
