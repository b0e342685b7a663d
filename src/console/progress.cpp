#include "progress.hpp"

#include "../paths/file_status.hpp"
#include "../run_state/run_state.hpp"

#include <chrono>
#include <cstdio>
#include <iostream>

#include <unistd.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/ioctl.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

// Often enough to look alive; a run shorter than this shows no line at all.
constexpr auto redrawEvery = std::chrono::milliseconds(100);

void writeToTerminal(const std::string& text)
{
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(STDERR_FILENO, text.data() + written, text.size() - written);
        if (n <= 0) return; // a terminal that takes nothing gets no progress
        written += static_cast<std::size_t>(n);
    }
}

void clearLocked(ProgressLine& line)
{
    if (!line.state->progressOnScreen.load()) return;
    writeToTerminal("\r\033[K");
    line.state->progressOnScreen.store(false);
}

// A line longer than the terminal would wrap, and a carriage return then goes back to the
// wrapped part only.
std::size_t terminalColumns()
{
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) &&
        info.dwSize.X > 1) {
        return std::size_t(info.dwSize.X);
    }
#else
    struct winsize size = {};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col;
#endif
    return 80;
}

// Whether stderr is a terminal that takes the line's escapes. A Windows console takes them only
// once asked to (and NUL, a character device too, is no console).
bool isLineTerminal()
{
#ifdef _WIN32
    const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return GetConsoleMode(console, &mode) &&
           SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
#else
    return ::isatty(STDERR_FILENO);
#endif
}

void drawLocked(ProgressLine& line, const std::string& text)
{
    const std::string shown = text.substr(0, terminalColumns() - 1);
    if (line.state->progressOnScreen.load() && shown == line.shown) return;
    writeToTerminal("\r" + shown + "\033[K");
    line.shown = shown;
    line.state->progressOnScreen.store(true);
}

long long fileSize(const char* path)
{
    FileStatus status;
    return statusOf(path, status) == 0 ? static_cast<long long>(status.size) : -1;
}

void drawUntilStopped(ProgressLine& line)
{
    const RunState& state = *line.state;
    int phase = -1;
    Clock::time_point phaseStart;
    long long modelBytes = -1;
    std::unique_lock<std::mutex> lock(line.mutex);
    while (!line.wake.wait_for(lock, redrawEvery, [&] { return line.stopping; })) {
        if (state.phase.load() != phase) {
            phase = state.phase.load();
            phaseStart = Clock::now();
            const bool reading = static_cast<RunPhase>(phase) == RunPhase::reading;
            if (reading) modelBytes = fileSize(readText(state.modelPath).c_str());
        }
        // Drawn only between whole lines of other output, never into the middle of one.
        if (!line.atLineStart) continue;
        const double seconds = std::chrono::duration<double>(Clock::now() - phaseStart).count();
        const std::string text = describeProgress(state, seconds, modelBytes);
        if (text.empty()) {
            clearLocked(line);
        } else {
            drawLocked(line, text);
        }
    }
    clearLocked(line);
}

std::string formatBytes(long long bytes)
{
    char text[32];
    if (bytes < 1000 * 1000) {
        std::snprintf(text, sizeof text, "%lld kB", (bytes + 999) / 1000);
    } else {
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    }
    return text;
}

void divert(std::ostream& stream, LineClearingBuffer& buffer, ProgressLine& line)
{
    buffer.line = &line;
    buffer.target = stream.rdbuf(&buffer);
}

} // namespace

int LineClearingBuffer::overflow(int c)
{
    if (c == traits_type::eof()) return target->pubsync() == 0 ? 0 : c;
    const std::lock_guard<std::mutex> lock(line->mutex);
    clearLocked(*line);
    line->atLineStart = c == '\n';
    return target->sputc(static_cast<char>(c));
}

std::streamsize LineClearingBuffer::xsputn(const char* text, std::streamsize count)
{
    if (count <= 0) return 0;
    const std::lock_guard<std::mutex> lock(line->mutex);
    clearLocked(*line);
    line->atLineStart = text[count - 1] == '\n';
    return target->sputn(text, count);
}

int LineClearingBuffer::sync()
{
    return target->pubsync();
}

ProgressLine::~ProgressLine()
{
    stopProgressLine(*this);
}

void startProgressLine(ProgressLine& line, RunState& state)
{
    if (!isLineTerminal()) return;
    line.state = &state;
    state.showsProgress.store(true);
    divert(std::cerr, line.err, line);
    // The library's messages on a terminal's stdout would otherwise land on the progress line.
    if (::isatty(STDOUT_FILENO)) divert(std::cout, line.out, line);
    line.drawer = std::thread(drawUntilStopped, std::ref(line));
}

void stopProgressLine(ProgressLine& line)
{
    if (!line.drawer.joinable()) return;
    {
        const std::lock_guard<std::mutex> lock(line.mutex);
        line.stopping = true;
    }
    line.wake.notify_all();
    line.drawer.join();
    std::cerr.rdbuf(line.err.target);
    if (line.out.target) std::cout.rdbuf(line.out.target);
}

std::string describeProgress(const RunState& state, double phaseSeconds, long long modelBytes)
{
    const std::string model = "'" + readText(state.modelPath) + "'";
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", phaseSeconds);
    switch (static_cast<RunPhase>(state.phase.load())) {
    case RunPhase::reading:
        return "reading " + model + (modelBytes >= 0 ? " (" + formatBytes(modelBytes) + ")" : "") +
               ": " + seconds;
    case RunPhase::transferring:
        return "transferring " + model + ": " + std::to_string(state.transferPermille.load() / 10) +
               "%";
    case RunPhase::writing:
        return "writing face files: " + std::to_string(state.filesWritten.load()) + " of " +
               std::to_string(state.facesToWrite.load());
    default:
        return {};
    }
}
