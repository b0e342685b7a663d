// Native paths are wide here (UTF-16). The narrow form goes through the Windows API, on the code
// page that the C runtime's narrow file functions use, and never through std::filesystem's own
// conversion: mingw's libstdc++ gives UTF-8 whatever the code page, and takes any character.
#include "narrow_form.hpp"

#include <clocale>
#include <cstdio>
#include <system_error>

#include <locale.h> // ___lc_codepage_func: the code page of the C runtime's locale

#include <windows.h>

namespace {

UINT narrowCodePage()
{
    if (___lc_codepage_func() == CP_UTF8) return CP_UTF8;
    return AreFileApisANSI() ? CP_ACP : CP_OEMCP;
}

UINT codePageNumber(UINT codePage)
{
    if (codePage == CP_ACP) return GetACP();
    if (codePage == CP_OEMCP) return GetOEMCP();
    return codePage;
}

std::wstring toWide(const std::string& narrow, UINT codePage, bool& exact)
{
    exact = true;
    if (narrow.empty()) return {};
    const int size = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, narrow.data(),
                                         int(narrow.size()), nullptr, 0);
    if (size <= 0) {
        exact = false;
        return {};
    }
    std::wstring wide(std::size_t(size), L'\0');
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, narrow.data(), int(narrow.size()),
                        wide.data(), size);
    return wide;
}

// The narrow text of `wide`, exactly: false when a character has no narrow equivalent. UTF-8
// takes neither the no-best-fit flag nor a default character, and refuses lone surrogates
// instead. The text must also come back unchanged, which no best-fit mapping survives.
bool toNarrow(const std::wstring& wide, UINT codePage, std::string& narrow)
{
    narrow.clear();
    if (wide.empty()) return true;
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(codePage, flags, wide.data(), int(wide.size()), nullptr,
                                         0, nullptr, utf8 ? nullptr : &usedDefault);
    if (size <= 0 || usedDefault) return false;
    narrow.resize(std::size_t(size));
    WideCharToMultiByte(codePage, flags, wide.data(), int(wide.size()), narrow.data(), size,
                        nullptr, utf8 ? nullptr : &usedDefault);
    bool exact = false;
    return !usedDefault && toWide(narrow, codePage, exact) == wide && exact;
}

// The characters of `wide` one by one, a surrogate pair as one.
template <typename Visit> void eachCharacter(const std::wstring& wide, Visit visit)
{
    for (std::size_t i = 0; i < wide.size();) {
        const bool pair = i + 1 < wide.size() && wide[i] >= 0xD800 && wide[i] < 0xDC00 &&
                          wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000;
        const std::size_t length = pair ? 2 : 1;
        visit(wide.substr(i, length));
        i += length;
    }
}

std::string codePointName(const std::wstring& character)
{
    unsigned long point = character[0];
    if (character.size() == 2) point = 0x10000 + ((point - 0xD800) << 10) + (character[1] - 0xDC00);
    char name[16];
    std::snprintf(name, sizeof name, "U+%04lX", point);
    return name;
}

} // namespace

std::string narrowForm(const std::filesystem::path& path)
{
    std::string narrow;
    if (!toNarrow(path.native(), narrowCodePage(), narrow)) {
        throw std::system_error(std::make_error_code(std::errc::illegal_byte_sequence),
                                describeNarrowFormProblem(path));
    }
    return narrow;
}

std::filesystem::path nativePath(const std::string& narrow)
{
    bool exact = false;
    std::wstring wide = toWide(narrow, narrowCodePage(), exact);
    if (!exact) {
        throw std::system_error(std::make_error_code(std::errc::illegal_byte_sequence),
                                "not text in " + describeNarrowEncoding() +
                                    ", the narrow encoding of file names");
    }
    return std::filesystem::path(std::move(wide));
}

std::string shownForm(const std::filesystem::path& path)
{
    const UINT codePage = narrowCodePage();
    std::string shown;
    if (toNarrow(path.native(), codePage, shown)) return shown;
    shown.clear();
    eachCharacter(path.native(), [&](const std::wstring& character) {
        std::string narrow;
        const bool has = toNarrow(character, codePage, narrow);
        shown += has ? narrow : "<" + codePointName(character) + ">";
    });
    return shown;
}

std::string describeNarrowFormProblem(const std::filesystem::path& path)
{
    const UINT codePage = narrowCodePage();
    std::string narrow, lacking;
    if (toNarrow(path.native(), codePage, narrow)) return "";
    eachCharacter(path.native(), [&](const std::wstring& character) {
        if (lacking.empty() && !toNarrow(character, codePage, narrow)) {
            lacking = codePointName(character);
        }
    });
    return "cannot name '" + shownForm(path) + "' in " + describeNarrowEncoding() +
           ", the narrow encoding of file names: it has no " +
           (lacking.empty() ? "exact form there" : lacking);
}

std::string describeNarrowEncoding()
{
    return "code page " + std::to_string(codePageNumber(narrowCodePage()));
}
