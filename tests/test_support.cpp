#include "test_support.hpp"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <IFSelect_ReturnStatus.hxx>
#include <STEPControl_Writer.hxx>

namespace fs = std::filesystem;

void TempDirTest::SetUp()
{
    // The commands run by a test use a model cache only where the test gives them one.
    ::unsetenv("TARNFOLD_CACHE");
    std::string pattern = (fs::temp_directory_path() / "tarnfold-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
}

void TempDirTest::TearDown()
{
    std::error_code ignored;
    // Tests take permissions away; give them back so that everything can be removed.
    for (auto it = fs::recursive_directory_iterator(dir, ignored);
         it != fs::recursive_directory_iterator(); it.increment(ignored)) {
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(dir, ignored);
}

void ProcessTest::SetUp()
{
    TempDirTest::SetUp();
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
}

void expectNoProcessLeft()
{
    int status = 0;
    pid_t pid;
    while ((pid = ::waitpid(-1, &status, WNOHANG)) > 0) {}
    EXPECT_EQ(pid, -1) << "a process of the run is still running";
}

void expectNoTemporary(const fs::path& data)
{
    for (const std::string& name : listNames(data)) {
        EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
    }
}

std::string selfReferencingStep(const std::string& stepText, const std::string& phase)
{
    if (phase == "reading") {
        return std::regex_replace(stepText,
                                  std::regex(R"(#(\d+) = ORIENTED_EDGE\('',\*,\*,#\d+,)"),
                                  "#$1 = ORIENTED_EDGE('',*,*,#$1,",
                                  std::regex_constants::format_first_only);
    }
    return std::regex_replace(
        stepText, std::regex(R"((= ADVANCED_FACE\('',\([^)]*\)),#\d+,(.*)\n)"),
        "$1,#999999,$2\n#999999 = RECTANGULAR_TRIMMED_SURFACE('',#999999,0.,1.,0.,1.,.T.,.T.);\n",
        std::regex_constants::format_first_only);
}

void writeFile(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary);
    file << content;
    ASSERT_TRUE(file.good()) << path;
}

std::string readFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

pid_t startChild(const ChildLaunch& launch)
{
    std::vector<std::string> strings{launch.argv0.empty() ? launch.binary : launch.argv0};
    strings.insert(strings.end(), launch.args.begin(), launch.args.end());
    std::vector<char*> argv;
    for (std::string& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!launch.workDir.empty() && ::chdir(launch.workDir.c_str()) != 0) ::_exit(127);
        const int devNull = ::open("/dev/null", O_RDWR);
        ::dup2(launch.in >= 0 ? launch.in : devNull, STDIN_FILENO);
        ::dup2(launch.out >= 0 ? launch.out : devNull, STDOUT_FILENO);
        ::dup2(launch.err >= 0 ? launch.err : devNull, STDERR_FILENO);
        if (devNull > STDERR_FILENO) ::close(devNull);
        if (launch.inChild) launch.inChild();
        ::execv(launch.binary.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

int openForOutput(const fs::path& path)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

std::vector<pid_t> childrenOf(pid_t parent)
{
    std::vector<pid_t> children;
    std::ifstream list("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) +
                       "/children");
    for (pid_t child; list >> child;) children.push_back(child);
    return children;
}

int waitBounded(pid_t pid)
{
    // Woken by the process's end (a pidfd is readable then), never by a timer: the ten seconds
    // only end a wait that would otherwise hang.
    const int process = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    pollfd ended = {process, POLLIN, 0};
    while (process >= 0 && ::poll(&ended, 1, 10 * 1000) < 0 && errno == EINTR) {}
    if (process >= 0 && !(ended.revents & POLLIN)) ::kill(pid, SIGKILL);
    if (process >= 0) ::close(process);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    return status;
}

int makePipeWriter(const fs::path& fifo)
{
    if (::mkfifo(fifo.c_str(), 0600) != 0) return -1;
    return ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
}

bool waitUntilPipeRead(int writer)
{
    // Each read from the pipe is an access to it that inotify tells, so this wakes on reads
    // alone; the ten seconds only end a wait that would otherwise hang. The watch is in place
    // before the first look, so that no read falls between a look and the wait.
    const int reads = ::inotify_init1(IN_CLOEXEC);
    const std::string pipe = "/proc/self/fd/" + std::to_string(writer);
    if (reads < 0 || ::inotify_add_watch(reads, pipe.c_str(), IN_ACCESS) < 0) {
        if (reads >= 0) ::close(reads);
        return false;
    }
    int unread = 1;
    while (::ioctl(writer, FIONREAD, &unread) == 0 && unread > 0) {
        pollfd woken = {reads, POLLIN, 0};
        if (::poll(&woken, 1, 10 * 1000) != 1) break;
        char events[4096];
        if (::read(reads, events, sizeof events) <= 0) break;
    }
    ::close(reads);
    return unread == 0;
}

ToolRun runTool(const std::vector<std::string>& args, const fs::path& workDir,
                const std::string& argv0, const std::function<void()>& inChild)
{
    return runBinary(TARNFOLD_BINARY, args, workDir, argv0, inChild);
}

ToolRun runBinary(const std::string& binary, const std::vector<std::string>& args,
                  const fs::path& workDir, const std::string& argv0,
                  const std::function<void()>& inChild)
{
    // Output goes to files rather than pipes, so a chatty run can never block on a full pipe.
    char outName[] = "/tmp/tarnfold-out-XXXXXX";
    char errName[] = "/tmp/tarnfold-err-XXXXXX";
    const int outFd = ::mkstemp(outName);
    const int errFd = ::mkstemp(errName);
    const pid_t pid = startChild({binary, args, workDir, argv0, -1, outFd, errFd, inChild});
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(outFd);
    ::close(errFd);

    ToolRun run;
    if (WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    run.out = readFile(outName);
    run.err = readFile(errName);
    ::unlink(outName);
    ::unlink(errName);
    return run;
}

void writeStepModel(const TopoDS_Shape& shape, const fs::path& path)
{
    STEPControl_Writer writer;
    ASSERT_EQ(writer.Transfer(shape, STEPControl_AsIs), IFSelect_RetDone);
    ASSERT_EQ(writer.Write(path.c_str()), IFSelect_RetDone) << path;
}

void makeDataset(const fs::path& root, const std::string& modelPath,
                 const std::string& forceText, const std::string& restraintText)
{
    writeFile(root / "data" / "address.txt", modelPath + "\n");
    writeFile(root / "data" / "force" / "loads.txt", forceText);
    writeFile(root / "data" / "restraint" / "fixed.txt", restraintText);
}

std::string sha256Of(const fs::path& file)
{
    const ToolRun run = runBinary("/usr/bin/sha256sum", {file.string()});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    return run.out.substr(0, 64);
}

std::vector<std::string> listNames(const fs::path& directory)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<TableRow> parseTable(const std::string& text)
{
    std::vector<TableRow> rows;
    std::istringstream lines(text);
    std::string line, cell;
    std::vector<std::string> header;
    while (std::getline(lines, line)) {
        std::vector<std::string> cells;
        std::istringstream cellStream(line);
        while (std::getline(cellStream, cell, '\t')) cells.push_back(cell);
        if (header.empty()) {
            header = cells;
            continue;
        }
        EXPECT_EQ(cells.size(), header.size()) << line;
        TableRow row;
        for (std::size_t i = 0; i < cells.size() && i < header.size(); ++i) {
            row[header[i]] = cells[i];
        }
        rows.push_back(row);
    }
    return rows;
}

