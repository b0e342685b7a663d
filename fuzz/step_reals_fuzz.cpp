// scanStepText, the check of a STEP file's reals as the reader reads it: whatever the pieces the
// text comes in, the same finding, and a finding is a number of the text that no double holds or
// that the library takes for infinite, a word that the reader converts to NaN or infinity, or a
// semi-axis of an ellipse shorter than the library's smallest length.
#include "input_file.hpp"
#include "model/step_reals.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include <locale.h>

namespace {

RealScan scanInPieces(const std::string& text, std::size_t piece)
{
    RealScan scan;
    for (std::size_t at = 0; at < text.size(); at += piece) {
        scanStepText(scan, text.data() + at, std::min(piece, text.size() - at));
    }
    return scan;
}

void expectSame(const RealScan& a, const RealScan& b, const char* how)
{
    if (a.found != b.found || a.first.text != b.first.text || a.first.entity != b.first.entity ||
        a.first.line != b.first.line || a.line != b.line) {
        failCheck(std::string("the scan ") + how + " differs from the whole scan");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    RealScan whole;
    scanStepText(whole, text.data(), text.size());
    expectSame(scanInPieces(text, 1), whole, "byte by byte");
    const std::size_t piece = size == 0 ? 1 : 1 + data[0] % 61;
    expectSame(scanInPieces(text, piece), whole, "in pieces");

    // Lines are counted up to the end of the data, where the scan stops.
    const long lines = 1 + static_cast<long>(std::count(text.begin(), text.end(), '\n'));
    if (whole.line > lines || (whole.mode != RealScan::Mode::ended && whole.line != lines)) {
        failCheck("the scan counted another number of lines");
    }
    if (!whole.found) return 0;
    const std::string& number = whole.first.text;
    if (whole.first.line < 1 || whole.first.line > lines || whole.first.entity < 0) {
        failCheck("a finding out of place");
    }
    if (number.size() > 3 && number.compare(number.size() - 3, 3, "...") == 0) return 0;
    if (text.find(number) == std::string::npos) failCheck("a number that is not in the text");
    if (whole.first.trouble == RealTrouble::word) {
        if (!isNonFiniteWord(number)) failCheck("a word that is no NaN nor infinity: " + number);
        return 0;
    }
    static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    const double value = strtod_l(number.c_str(), nullptr, classic);
    if (whole.first.trouble == RealTrouble::noLength) {
        if (!(std::fabs(value) < smallestLength)) {
            failCheck("a semi-axis that is long enough: " + number);
        }
        return 0;
    }
    if (std::isfinite(value) && std::fabs(value) < 1e100) {
        failCheck("a number below the library's infinity was found: " + number);
    }
    if (std::isfinite(value) != (whole.first.trouble == RealTrouble::infinite)) {
        failCheck("a number found for another reason than its own: " + number);
    }
    return 0;
}
