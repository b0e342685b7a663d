#include "record_files.hpp"

#include "sha256.hpp"

#include "../console/error_printer.hpp"
#include "../output/whole_file.hpp"
#include "../run/run_state.hpp"

#include <cerrno>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Reads a whole file through one descriptor; false with `error` set (an errno) when it cannot.
bool readBytes(const std::string& path, std::string& bytes, int& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    bytes.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errno;
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        bytes.append(buffer, std::size_t(n));
    }
    ::close(fd);
    return true;
}

long long nanoseconds(const struct timespec& time)
{
    return static_cast<long long>(time.tv_sec) * 1000000000LL + time.tv_nsec;
}

} // namespace

HashedFile hashFile(const std::string& path)
{
    HashedFile file;
    // Only a regular file is opened: opening a named pipe would let its writer go on writing to
    // nobody before the reader opens it. Its bytes are the reader's alone.
    struct stat status = {};
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        file.regular = false;
        return file;
    }
    // Without waiting all the same, should a pipe take the file's place meanwhile.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        file.problem = "cannot read '" + path + "': " + systemReason(errno);
        if (fd >= 0) ::close(fd);
        return file;
    }
    if (!S_ISREG(status.st_mode)) {
        file.regular = false;
        ::close(fd);
        return file;
    }
    file.device = status.st_dev;
    file.inode = status.st_ino;
    file.modified = nanoseconds(status.st_mtim);
    Sha256 digest = startSha256();
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            file.problem = "cannot read '" + path + "': " + systemReason(errno);
            ::close(fd);
            return file;
        }
        if (n == 0) break;
        addToSha256(digest, buffer.data(), std::size_t(n));
        file.size += std::uint64_t(n);
    }
    ::close(fd);
    file.sha256 = finishSha256(digest);
    return file;
}

bool isUnchanged(const std::string& path, const HashedFile& file)
{
    struct stat status = {};
    return file.problem.empty() && ::stat(path.c_str(), &status) == 0 &&
           status.st_dev == file.device && status.st_ino == file.inode &&
           std::uint64_t(status.st_size) == file.size && nanoseconds(status.st_mtim) == file.modified;
}

std::vector<ListFileNow> readListFiles(const fs::path& root)
{
    std::vector<ListFileNow> lists;
    for (const DatasetFile& file : listFaceListFiles(root)) {
        ListFileNow list;
        list.path = file.path.string();
        list.name = file.path.parent_path().filename().string() + "/" +
                    file.path.filename().string();
        list.kind = file.kind;
        std::string bytes;
        int error = 0;
        list.read = readBytes(list.path, bytes, error);
        if (list.read) {
            list.sha256 = sha256Hex(bytes);
            list.records = findListRecords(bytes, recordLength(file.kind));
        }
        lists.push_back(std::move(list));
    }
    return lists;
}

std::string dataFilePath(const std::string& root, const std::string& name)
{
    // As the walk names the dataset's files: "jobs/1/" gives jobs/1/data/..., not jobs/1//data/.
    return (std::filesystem::path(root) / "data" / name).string();
}

std::vector<std::string> recordFilePaths(const std::string& root)
{
    return {dataFilePath(root, recordFileName), dataFilePath(root, outlineFileName)};
}

RecordReading readRunRecord(const std::string& root)
{
    RecordReading reading;
    const std::string path = dataFilePath(root, recordFileName);
    std::string text;
    int error = 0;
    if (!readBytes(path, text, error)) {
        if (error == ENOENT) return reading;
        reading.exists = true;
        reading.problem = "cannot read the record of the last run '" + path + "': " +
                          systemReason(error);
        return reading;
    }
    reading.exists = true;
    const std::string problem = parseRunRecord(text, reading.record);
    if (!problem.empty()) {
        reading.problem = "cannot read the record of the last run '" + path + "': " + problem;
        return reading;
    }
    return reading;
}

RecordedOutline readRecordedOutline(const std::string& root, const RunRecord& record)
{
    RecordedOutline recorded;
    const std::string path = dataFilePath(root, outlineFileName);
    std::string text;
    int error = 0;
    if (!readBytes(path, text, error)) {
        recorded.problem = "its outline of the model, '" + path + "', cannot be read: " +
                           systemReason(error);
    } else if (sha256Hex(text) != record.outlineSha256) {
        recorded.problem = "its outline of the model, '" + path + "', is not the one the record names";
    } else if (const std::string why = parseOutline(text, recorded.outline); !why.empty()) {
        recorded.problem = "its outline of the model, '" + path + "', " + why;
    } else {
        recorded.read = true;
    }
    return recorded;
}

std::string writeRunRecord(const std::string& root, const RunRecord& record,
                           const std::string& outlineText, RunState* state)
{
    // Their temporaries are recorded in the state like a face file's, but they are no face
    // files: the count of those written stays as it was.
    const int facesWritten = state ? state->filesWritten.load() : 0;
    // The record first, and the outline only once it is in place: a record that cannot be
    // written leaves the last one with the outline it names. An outline that cannot be written
    // then is one the record does not name (its digest tells), and the next run on the same
    // model writes it again; only a changed model needs it.
    std::string problem =
        writeWholeFile(dataFilePath(root, recordFileName), formatRunRecord(record), state);
    if (problem.empty()) {
        problem = writeWholeFile(dataFilePath(root, outlineFileName), outlineText, state);
    }
    if (state) state->filesWritten.store(facesWritten);
    return problem;
}
