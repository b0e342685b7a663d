#pragma once

#include <condition_variable>
#include <mutex>
#include <streambuf>
#include <string>
#include <thread>

struct RunState;

/// Standard output or error with the progress line taken off the terminal before any text
/// goes through, so that the line never mixes with what a run prints.
class LineClearingBuffer : public std::streambuf {
public:
    struct ProgressLine* line = nullptr;
    std::streambuf* target = nullptr;

protected:
    int overflow(int c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;
};

/// One line on a terminal's stderr that shows where a run stands, redrawn in place by a thread
/// of its own and cleared when done. Held by value for the length of a run.
struct ProgressLine {
    RunState* state = nullptr;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    bool atLineStart = true; ///< the last byte sent to the terminal ended a line
    std::string shown;       ///< the text on the line now, not drawn again while it is the same
    std::thread drawer;
    LineClearingBuffer out, err;
    ProgressLine() = default;
    ProgressLine(const ProgressLine&) = delete;
    ~ProgressLine();
};

/// When stderr is a terminal, and only then, starts showing `state` on it: the model's size and
/// the time while it is read, the transfer's percentage, the face files written, k of n.
void startProgressLine(ProgressLine& line, RunState& state);

/// Clears the line and stops showing it; stdout and stderr are as they were before the start.
void stopProgressLine(ProgressLine& line);

/// The text of the progress line for where `state` stands ("" when nothing is worth showing).
std::string describeProgress(const RunState& state, double phaseSeconds, long long modelBytes);
