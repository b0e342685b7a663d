// The narrow form of a path on Windows: the code page the C runtime's narrow file functions use,
// through the Windows API, strictly both ways.
#include "windows_support.hpp"

#include "paths/narrow_arguments.hpp"
#include "paths/narrow_form.hpp"

#include <system_error>

#include <windows.h>

namespace {

struct NarrowCase {
    const char* what;
    std::wstring wide;
    std::string narrow;  ///< its narrow form, when it has one
    std::string lacking; ///< the character it lacks, when it has none
};

} // namespace

// Under code page 1252 (wine's for an English locale, as on most Western workstations) the
// characters of the code page have their byte; every other one fails, a best-fit match too.
TEST(NarrowFormTest, AnsiCodePageStrictly)
{
    ASSERT_EQ(GetACP(), 1252u) << "run under wine with LC_ALL=en_US.UTF-8";
    const std::vector<NarrowCase> cases = {
        {"plain", L"D:\\jobs\\bracket", "D:\\jobs\\bracket", ""},
        {"a letter of the code page", L"D:\\jobs\\caf\u00e9", "D:\\jobs\\caf\xe9", ""},
        {"the euro sign, 0x80 there", L"\u20ac", "\x80", ""},
        {"only a best fit (A for A-macron)", L"D:\\\u0100", "", "U+0100"},
        {"outside the code page", L"D:\\jobs\\\u6a21\u578b", "", "U+6A21"},
        {"beyond the basic plane", L"a\U0001F600", "", "U+1F600"},
        {"a lone surrogate", std::wstring(1, wchar_t(0xD800)), "", "U+D800"},
    };
    for (const NarrowCase& c : cases) {
        const std::filesystem::path path(c.wide);
        if (c.lacking.empty()) {
            EXPECT_EQ(narrowForm(path), c.narrow) << c.what;
            EXPECT_EQ(nativePath(c.narrow).native(), c.wide) << c.what;
            EXPECT_EQ(describeNarrowFormProblem(path), "") << c.what;
            EXPECT_EQ(shownForm(path), c.narrow) << c.what;
            continue;
        }
        EXPECT_THROW(narrowForm(path), std::system_error) << c.what;
        const std::string problem = describeNarrowFormProblem(path);
        const std::string said =
            "' in code page 1252, the narrow encoding of file names: it has no " + c.lacking;
        EXPECT_NE(problem.find(said), std::string::npos)
            << c.what << ": " << problem;
    }
    EXPECT_EQ(describeNarrowFormProblem(L"D:\\jobs\\\u6a21\u578b\\caf\u00e9"),
              "cannot name 'D:\\jobs\\<U+6A21><U+578B>\\caf\xe9' in code page 1252, the narrow "
              "encoding of file names: it has no U+6A21");
}

// A process that switched its file interfaces to OEM names its files in the OEM code page (437
// for an English locale), as the C runtime then opens them.
TEST(NarrowFormTest, OemCodePageAfterTheSwitch)
{
    SetFileApisToOEM();
    const std::string narrow = narrowForm(L"caf\u00e9");
    const std::string encoding = describeNarrowEncoding();
    const std::wstring back = nativePath("caf\x82").native();
    SetFileApisToANSI();
    EXPECT_EQ(encoding, "code page " + std::to_string(GetOEMCP()));
    ASSERT_EQ(GetOEMCP(), 437u);
    EXPECT_EQ(narrow, "caf\x82");
    EXPECT_EQ(back, L"caf\u00e9");
    EXPECT_EQ(describeNarrowEncoding(), "code page 1252");
}

// The arguments are made again from the C runtime's wide parse of this very command line: they
// split as its narrow ones do and, being plain here, come back the same.
TEST(NarrowFormTest, ArgumentsFromTheWideCommandLine)
{
    std::vector<std::string> given = ::testing::internal::GetArgvs();
    ASSERT_GE(given.size(), 2u) << "ctest runs each test with a filter";
    std::vector<std::string> copies = given;
    std::vector<char*> argv;
    for (std::string& argument : copies) argv.push_back(argument.data());
    EXPECT_EQ(takeNarrowArguments(int(argv.size()), argv.data()), "");
    for (std::size_t i = 0; i < given.size(); ++i) EXPECT_EQ(argv[i], given[i]) << i;
}
