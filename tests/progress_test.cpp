// The progress line: shown on a terminal while the run waits on the library, gone at the end,
// and never anywhere else.
#include "test_support.hpp"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <BRepPrimAPI_MakeBox.hxx>

namespace fs = std::filesystem;

class ProgressTest : public TempDirTest {};

namespace {

// What a terminal shows after `bytes`: a carriage return goes back to the line's start, ESC [ K
// erases to its end.
std::string renderTerminal(const std::string& bytes)
{
    std::vector<std::string> lines(1);
    std::size_t column = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::string& line = lines.back();
        if (bytes.compare(i, 3, "\033[K") == 0) {
            line.resize(std::min(line.size(), column));
            i += 2;
        } else if (bytes[i] == '\r') {
            column = 0;
        } else if (bytes[i] == '\n') {
            lines.emplace_back();
            column = 0;
        } else {
            if (column < line.size()) {
                line[column] = bytes[i];
            } else {
                line += bytes[i];
            }
            ++column;
        }
    }
    std::string screen;
    for (const std::string& line : lines) screen += line + "\n";
    return screen.substr(0, screen.size() - 1);
}

// Reads the terminal's other end into `seen` until it holds `awaited`: false when the run sends
// nothing for ten seconds (a bound that only keeps a failing test from hanging) or has ended.
bool readUntilShown(int master, const std::string& awaited, std::string& seen)
{
    char buffer[4096];
    while (seen.find(awaited) == std::string::npos) {
        pollfd terminal = {master, POLLIN, 0};
        if (::poll(&terminal, 1, 10 * 1000) != 1) return false;
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) return false;
        seen.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

// Runs `binary` with `args` in `dir`, its stderr on a pseudo-terminal and stdout in out.txt
// there. The model is a FIFO that this test writes in two parts: its first line, then the rest
// once the terminal shows `awaited`, the progress line of the read that waits for it. Returns
// what the terminal was sent; `status` is the run's wait status.
std::string runOnTerminal(const std::string& binary, const std::vector<std::string>& args,
                          const fs::path& dir, const fs::path& fifo, const std::string& model,
                          const std::string& awaited, int& status)
{
    int master = -1, slave = -1;
    EXPECT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    // A writer before the run, which reads no pipe that nobody writes.
    const int writer = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    const int out = openForOutput(dir / "out.txt");
    const pid_t pid = startChild({binary, args, dir, {}, -1, out, slave,
                                  [master] { ::close(master); }});
    ::close(out);
    ::close(slave);
    // Its first line read, the run is in the reader: it waits there for the rest, and the line
    // is drawn meanwhile.
    const std::size_t firstLine = model.find('\n') + 1;
    EXPECT_EQ(::write(writer, model.data(), firstLine), static_cast<ssize_t>(firstLine));
    std::string seen;
    EXPECT_TRUE(readUntilShown(master, awaited, seen)) << "no progress line: " << seen;
    const std::size_t rest = model.size() - firstLine;
    EXPECT_EQ(::write(writer, model.data() + firstLine, rest), static_cast<ssize_t>(rest));
    EXPECT_TRUE(waitUntilPipeRead(writer)); // the last holder's close empties a pipe
    ::close(writer);

    char buffer[4096];
    ssize_t n;
    // Read until the last holder of the terminal's other end has gone (EIO on Linux).
    while ((n = ::read(master, buffer, sizeof buffer)) > 0) {
        seen.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(master);
    ::waitpid(pid, &status, 0);
    return seen;
}

} // namespace

TEST_F(ProgressTest, OnATerminalOnly)
{
    writeStepModel(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), dir / "box.step");
    const std::string model = readFile(dir / "box.step");
    const fs::path fifo = dir / "model.step";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    makeDataset(dir, fifo.string(), "1 0 0\n9 0 0\n", "");
    const std::string error = "tarnfold: error: force list entry 9 selects no face: the model has 6 faces";

    int status = 0;
    const std::string line = "\rreading '" + fifo.string() + "' (";
    const std::string terminal =
        runOnTerminal(TARNFOLD_BINARY, {dir.string()}, dir, fifo, model, line, status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_NE(terminal.find(line), std::string::npos) << terminal;
    // The line is taken away again: the terminal shows what it would without it.
    EXPECT_EQ(renderTerminal(terminal), error + "\n") << terminal;
    EXPECT_EQ(readFile(dir / "data" / "face1.brep").rfind("DBRep_DrawableShape", 0), 0u);

    // Anywhere else, stderr is the error alone.
    fs::remove(fifo);
    writeFile(dir / "data" / "address.txt", (dir / "box.step").string());
    EXPECT_EQ(runTool({dir.string()}).err, error + "\n");
}

// The line follows both reads of --since, the second read's model taking the first's place while
// the line is drawn, and leaves the terminal as it would be without it.
TEST_F(ProgressTest, FollowsBothReadsOfSince)
{
    writeStepModel(BRepPrimAPI_MakeBox(10, 20, 30).Shape(), dir / "old.step");
    const fs::path fifo = dir / "new.step";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    int status = 0;
    const std::string terminal =
        runOnTerminal(TARNFOLD_FACES_BINARY, {"--model", "new.step", "--since", "old.step"}, dir,
                      fifo, readFile(dir / "old.step"), "\rreading 'new.step' (", status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << terminal;
    EXPECT_NE(terminal.find("\rreading 'new.step' ("), std::string::npos) << terminal;
    EXPECT_EQ(renderTerminal(terminal).find("reading '"), std::string::npos) << terminal;
    EXPECT_EQ(parseTable(readFile(dir / "out.txt")).size(), 6u);
}
