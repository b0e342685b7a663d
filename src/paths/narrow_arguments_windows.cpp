// The arguments again, from the C runtime's own wide parse of the command line, so that they
// split exactly as its narrow ones do.
#include "narrow_arguments.hpp"

#include "narrow_form.hpp"

#include <vector>

#include <windows.h>

namespace {

// What the C runtime hands __wgetmainargs; only its size matters here.
struct StartupInfo {
    int newMode;
};

} // namespace

// Exported by msvcrt; the wide twin of the call that fills main's argv.
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int glob,
                                      StartupInfo* info);

std::string takeNarrowArguments(int argc, char** argv)
{
    int wideCount = 0;
    wchar_t** wide = nullptr;
    wchar_t** environment = nullptr;
    StartupInfo info{0};
    if (__wgetmainargs(&wideCount, &wide, &environment, 0, &info) != 0 || wideCount != argc) {
        return "cannot read the command line's arguments again";
    }
    // The narrow arguments live as long as the process, as argv does.
    static std::vector<std::string> narrow;
    narrow.assign(std::size_t(argc), std::string());
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path argument(wide[i]);
        const std::string problem = describeNarrowFormProblem(argument);
        if (!problem.empty()) return problem;
        narrow[std::size_t(i)] = narrowForm(argument);
    }
    for (int i = 1; i < argc; ++i) argv[i] = narrow[std::size_t(i)].data();
    return "";
}

std::string programDirectory()
{
    std::vector<wchar_t> program(32768);
    const DWORD length = GetModuleFileNameW(nullptr, program.data(), DWORD(program.size()));
    const std::filesystem::path directory =
        std::filesystem::path(std::wstring(program.data(), length)).parent_path();
    return describeNarrowFormProblem(directory).empty() ? narrowForm(directory) : "";
}
