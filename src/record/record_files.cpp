#include "record_files.hpp"

#include "../console/error_printer.hpp"
#include "../digest/sha256.hpp"
#include "../output/whole_file.hpp"
#include "../paths/file_status.hpp"
#include "../paths/narrow_form.hpp"
#include "../run_state/run_state.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

HashedFile hashFile(const std::string& path)
{
    HashedFile file;
    // Only a regular file is opened: opening a named pipe would let its writer go on writing to
    // nobody before the reader opens it. Its bytes are the reader's alone.
    FileStatus status;
    if (statusOf(path, status) == 0 && !status.regular) {
        file.regular = false;
        return file;
    }
    // Without waiting all the same, should a pipe take the file's place meanwhile.
    const int fd = openToRead(path, false);
    const int error = fd < 0 ? errno : statusOf(fd, status);
    if (error != 0) {
        file.problem = "cannot read '" + path + "': " + systemReason(error);
        if (fd >= 0) ::close(fd);
        return file;
    }
    if (!status.regular) {
        file.regular = false;
        ::close(fd);
        return file;
    }
    file.device = status.device;
    file.inode = status.inode;
    file.modified = status.modified;
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
    FileStatus status;
    return file.problem.empty() && statusOf(path, status) == 0 && status.device == file.device &&
           status.inode == file.inode && status.size == file.size &&
           status.modified == file.modified;
}

std::vector<ListFileNow> readListFiles(const std::string& root)
{
    std::vector<ListFileNow> lists;
    for (const DatasetFile& file : listFaceListFiles(nativePath(root))) {
        ListFileNow list;
        list.path = narrowForm(file.path);
        list.name = nameUnderData(file);
        list.kind = file.kind;
        std::string bytes;
        list.read = readToEnd(list.path, bytes) == 0;
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
    return narrowForm(nativePath(root) / "data" / name);
}

std::string faceFileName(int number)
{
    return "face" + std::to_string(number) + ".brep";
}

std::vector<int> findFaceFileNumbers(const std::string& root)
{
    std::vector<int> numbers;
    std::error_code error;
    // A data directory that cannot be listed holds no face file a run could have written.
    for (fs::directory_iterator entry(nativePath(root) / "data", error), end;
         !error && entry != end; entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.size() < 10 || name.compare(0, 4, "face") != 0 ||
            name.compare(name.size() - 5, 5, ".brep") != 0) {
            continue;
        }
        const std::string digits = name.substr(4, name.size() - 9);
        int number = 0;
        const auto [stop, failure] =
            std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (digits[0] != '0' && failure == std::errc() && stop == digits.data() + digits.size() &&
            number > 0) {
            numbers.push_back(number);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

FileReading readRegularFile(const std::string& path, std::string& bytes, std::string& problem)
{
    FileStatus link;
    if (const int error = linkStatusOf(path, link); error != 0) {
        if (error == ENOENT) return FileReading::absent;
        problem = systemReason(error);
        return FileReading::failed;
    }
    // Not waiting on a pipe; the type is asked of what was opened, so that nothing can be put
    // in its place in between.
    const int fd = openToRead(path, false);
    FileStatus status;
    const int error = fd < 0 ? errno : statusOf(fd, status);
    if (fd >= 0) ::close(fd);
    if (error != 0) {
        std::error_code ignored;
        problem = error == ENOENT && link.link
                      ? "it is a symbolic link to '" + shownForm(fs::read_symlink(nativePath(path), ignored)) +
                            "', where nothing is"
                      : systemReason(error);
        return FileReading::failed;
    }
    if (!status.regular) {
        problem = "it is not a regular file";
        return FileReading::failed;
    }
    if (const int readError = readToEnd(path, bytes); readError != 0) {
        problem = systemReason(readError);
        return FileReading::failed;
    }
    return FileReading::read;
}

bool mayBeFaceFile(const std::string& path)
{
    FileStatus status;
    if (linkStatusOf(path, status) != 0 || !status.regular) return false;
    std::string bytes, problem;
    switch (readRegularFile(path, bytes, problem)) {
    case FileReading::read: break;
    case FileReading::absent: return false;
    case FileReading::failed: return true;
    }
    // The line BRepTools::Write puts before the shape in a file.
    const std::string header = "DBRep_DrawableShape\n";
    return bytes.compare(0, header.size(), header) == 0;
}

std::vector<std::string> recordFilePaths(const std::string& root)
{
    return {dataFilePath(root, recordFileName), dataFilePath(root, outlineFileName)};
}

RecordReading readRunRecord(const std::string& root)
{
    RecordReading reading;
    const std::string path = dataFilePath(root, recordFileName);
    std::string text, problem;
    const FileReading read = readRegularFile(path, text, problem);
    if (read == FileReading::absent) return reading;
    reading.exists = true;
    if (read == FileReading::failed) {
        reading.problem = "cannot read the record of the last run '" + path + "': " + problem;
        return reading;
    }
    problem = parseRunRecord(text, reading.record);
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
    if (const int error = readToEnd(path, text); error != 0) {
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

std::string writeRunRecord(const std::string& root, const std::string& recordText,
                           const std::string& outlineText, RunState* state)
{
    // Their temporaries are recorded in the state like a face file's, but they are no face
    // files: the count of those written stays as it was.
    const int facesWritten = state ? state->filesWritten.load() : 0;
    // The record first, and the outline only once it is in place: a record that cannot be
    // written leaves the last one with the outline it names. An outline that cannot be written
    // then is one the record does not name (its digest tells), and the next run on the same
    // model writes it again; only a changed model needs it.
    std::string problem = writeWholeFile(dataFilePath(root, recordFileName), recordText, state);
    if (problem.empty()) {
        problem = writeWholeFile(dataFilePath(root, outlineFileName), outlineText, state);
    }
    if (state) state->filesWritten.store(facesWritten);
    return problem;
}
