// Native paths are narrow here: the narrow form is the path's own bytes, both ways.
#include "narrow_form.hpp"

std::string narrowForm(const std::filesystem::path& path)
{
    return path.string();
}

std::filesystem::path nativePath(const std::string& narrow)
{
    return std::filesystem::path(narrow);
}

std::string shownForm(const std::filesystem::path& path)
{
    return path.string();
}

std::string describeNarrowEncoding()
{
    return "bytes";
}

std::string describeNarrowFormProblem(const std::filesystem::path&)
{
    return "";
}
