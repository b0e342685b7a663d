// Native text is narrow here: the arguments are their own bytes.
#include "narrow_arguments.hpp"

#include <filesystem>
#include <system_error>

std::string takeNarrowArguments(int, char**)
{
    return "";
}

std::string programDirectory()
{
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).parent_path().string();
}
