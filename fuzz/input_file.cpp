#include "input_file.hpp"

#include <cstdio>
#include <cstdlib>

#include <sys/mman.h>
#include <unistd.h>

std::string writeInputFile(const std::uint8_t* data, std::size_t size)
{
    // One file for the whole run: the readers open it again by path for every input.
    static const int fd = ::memfd_create("fuzz-input", 0);
    if (fd < 0 || ::ftruncate(fd, 0) != 0) failCheck("cannot set up the input file");
    for (std::size_t done = 0; done < size;) {
        const ssize_t written = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (written <= 0) failCheck("cannot write the input file");
        done += static_cast<std::size_t>(written);
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

void failCheck(const std::string& what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}
