#include "face_export.hpp"

#include "face_numbering.hpp"

#include "../intake/dataset_inputs.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include <fcntl.h>
#include <unistd.h>

#include <BRepTools.hxx>

namespace {

std::string systemReason(int error)
{
    return error != 0 ? std::strerror(error) : "reason unknown";
}

// Creates a new file beside `fileName` that nobody else can have planted: O_EXCL refuses an
// existing name, a symbolic link included. The mode follows the umask, as a plain create does.
int createTemporaryFile(const std::string& fileName, std::string& temporary, std::string& error)
{
    const std::string stem = fileName + ".tmp" + std::to_string(::getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = stem + (attempt == 0 ? "" : "." + std::to_string(attempt));
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST) {
            error = systemReason(errno);
            return -1;
        }
    }
    error = "no free temporary name";
    return -1;
}

bool writeAll(int fd, const std::string& bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

std::string formatNumber(double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

// A list entry selects a face when it equals one of the numbers 1..faceCount exactly.
bool selectsFace(double entry, int faceCount)
{
    return entry >= 1 && entry <= faceCount && entry == std::floor(entry);
}

void reportUnselected(const std::vector<double>& list, const char* listName, int faceCount,
                      std::vector<std::string>& problems)
{
    for (const double entry : list) {
        if (selectsFace(entry, faceCount)) continue;
        problems.push_back(std::string(listName) + " list entry " + formatNumber(entry) +
                           " selects no face: the model has " + std::to_string(faceCount) +
                           (faceCount == 1 ? " face" : " faces"));
    }
}

} // namespace

std::string writeFaceFile(const TopoDS_Shape& shape, const std::string& fileName)
{
    // The text is made in memory and written through the descriptor that created the temporary
    // file: no name is opened twice, and no file is truncated, which on ext4 forces it to disk
    // at close.
    std::ostringstream text;
    text << "DBRep_DrawableShape\n"; // what BRepTools::Write puts before the shape in a file
    BRepTools::Write(shape, text);
    const std::string bytes = text.str();

    std::string temporary, error;
    const int fd = createTemporaryFile(fileName, temporary, error);
    if (fd < 0) return "cannot create a file beside '" + fileName + "': " + error;
    int reason = writeAll(fd, bytes) ? 0 : errno;
    if (::close(fd) != 0 && reason == 0) reason = errno;
    if (reason == 0 && std::rename(temporary.c_str(), fileName.c_str()) == 0) return {};
    if (reason == 0) reason = errno;

    error = "cannot write '" + fileName + "': " + systemReason(reason);
    std::remove(temporary.c_str());
    return error;
}

std::vector<std::string> exportFaceFiles(const TopoDS_Shape& modelShape,
                                         const DatasetInputs& inputs,
                                         const std::filesystem::path& root)
{
    std::vector<std::string> problems;
    const std::string namePrefix = root.string() + "/data/face";
    const int faceCount = visitFaces(modelShape, [&](int faceNumber, const TopoDS_Face& face) {
        const double number = faceNumber;
        // Both lists are scanned whole for every face; they are short next to the model.
        const bool listed =
            std::count(inputs.forceFaces.begin(), inputs.forceFaces.end(), number) +
                std::count(inputs.restraintFaces.begin(), inputs.restraintFaces.end(), number) >
            0;
        if (!listed) return;
        std::string problem = writeFaceFile(face, namePrefix + std::to_string(faceNumber) + ".brep");
        if (!problem.empty()) problems.push_back(std::move(problem));
    });

    reportUnselected(inputs.forceFaces, "force", faceCount, problems);
    reportUnselected(inputs.restraintFaces, "restraint", faceCount, problems);
    return problems;
}
