#include "step_reals.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <locale.h>

namespace {

// A longer number is kept only in part, and judged by what decides it (LongNumber).
constexpr std::size_t keptDigits = 4096;

// A number longer than that is shown cut short.
constexpr std::size_t shownChars = 40;

// More than the 309 digits of the largest double: what follows can only round it.
constexpr std::size_t significantDigits = 330;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool startsNumber(char c)
{
    return isDigit(c) || c == '-' || c == '+' || c == '.';
}

// Whether `text` is a number as the library's lexer takes it: an integer, [-+0-9][0-9]*, or a
// real, [-+.0-9][.0-9]+(E[-+0-9][0-9]*)? with a point or an exponent. Its reader converts both
// to a double where it reads a real.
bool isStepNumber(const std::string& text)
{
    std::size_t i = 1;
    while (i < text.size() && (isDigit(text[i]) || text[i] == '.')) ++i;
    if (text.empty() || !startsNumber(text[0])) return false;
    if (i == text.size()) return text.find('.') == std::string::npos || i >= 2;
    if (text[i] != 'E' || i < 2 || ++i == text.size()) return false;
    if (!isDigit(text[i]) && text[i] != '-' && text[i] != '+') return false;
    for (++i; i < text.size(); ++i) {
        if (!isDigit(text[i])) return false;
    }
    return true;
}

// Whether `text` (a STEP number) stands for a finite double. Most are plainly far from the
// largest double by their count of digits and exponent; only the others are converted, in the C
// locale whatever the process's is.
bool isFinite(const std::string& text)
{
    std::size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
    long magnitude = 0; // digits before the point, leading zeros left out
    bool leading = true;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        if (text[i] != '0') leading = false;
        if (!leading) ++magnitude;
    }
    long exponent = 0;
    const std::size_t e = text.find('E');
    if (e != std::string::npos) {
        const bool negative = e + 1 < text.size() && text[e + 1] == '-';
        for (std::size_t k = e + 1; k < text.size(); ++k) {
            if (isDigit(text[k]) && exponent < 100000000) {
                exponent = exponent * 10 + (text[k] - '0');
            }
        }
        if (negative) exponent = -exponent;
    }
    if (magnitude + exponent < 300) return true;
    static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return std::isfinite(strtod_l(text.c_str(), nullptr, classic));
}

// A digit or a point of a long number's mantissa, as the conversion takes it: up to a second
// point, where it stops.
void takeValueChar(LongNumber& number, char c)
{
    if (number.valueEnded) return;
    if (c == '.') {
        number.valueEnded = number.point;
        number.point = true;
        return;
    }
    if (!number.point) ++number.beforePoint;
    if (number.significant.empty() && c == '0') {
        ++number.leadingZeros;
    } else if (number.significant.size() < significantDigits) {
        number.significant += c;
    } else if (c != '0') {
        number.moreSignificant = true;
    }
}

void takeLongNumber(LongNumber& number, const char* text, std::size_t size)
{
    using Part = LongNumber::Part;
    for (std::size_t i = 0; i < size && number.part != Part::none; ++i) {
        const char c = text[i];
        switch (number.part) {
        case Part::first:
            number.part = Part::mantissa;
            number.mantissaChars = 1;
            if (c != '-' && c != '+') takeValueChar(number, c);
            break;
        case Part::mantissa:
            if (isDigit(c) || c == '.') {
                ++number.mantissaChars;
                takeValueChar(number, c);
            } else {
                const bool exponent = c == 'E' && number.mantissaChars >= 2;
                number.part = exponent ? Part::exponentSign : Part::none;
            }
            break;
        case Part::exponentSign:
            number.part = isDigit(c) || c == '-' || c == '+' ? Part::exponent : Part::none;
            number.negativeExponent = c == '-';
            if (!isDigit(c)) break;
            [[fallthrough]];
        case Part::exponent:
            if (!isDigit(c)) {
                number.part = Part::none;
                break;
            }
            ++number.exponentDigits;
            number.exponent = std::min(number.exponent * 10 + (c - '0'), 20000L);
            break;
        case Part::none: break;
        }
    }
}

// What isStepNumber and isFinite tell of a number's whole text, told of a long one.
bool isNonFiniteNumber(const LongNumber& number)
{
    using Part = LongNumber::Part;
    const bool isNumber =
        number.part == Part::exponent ||
        (number.part == Part::mantissa && (!number.point || number.mantissaChars >= 2));
    if (!isNumber || number.significant.empty()) return false;
    // The value is 0.<significant digits> times ten to this.
    long long place = number.beforePoint - number.leadingZeros;
    if (!number.valueEnded && number.exponentDigits > 0) {
        // The library's conversion takes a larger exponent for 19999.
        const long exponent = std::min(number.exponent, 19999L);
        place += number.negativeExponent ? -exponent : exponent;
    }
    if (place != 309) return place > 309;
    const std::string near =
        "0." + number.significant + (number.moreSignificant ? "1" : "") + "E309";
    return !isFinite(near);
}

void takeNumberText(RealScan& scan, const char* text, std::size_t size)
{
    if (!scan.numberCut && scan.number.size() + size <= keptDigits) {
        scan.number.append(text, size);
        return;
    }
    if (!scan.numberCut) {
        scan.numberCut = true;
        scan.longNumber = LongNumber();
        takeLongNumber(scan.longNumber, scan.number.data(), scan.number.size());
        // Its start is kept for the message.
        const std::size_t shown = shownChars + 1 - std::min(shownChars + 1, scan.number.size());
        scan.number.append(text, std::min(size, shown));
    }
    takeLongNumber(scan.longNumber, text, size);
}

void finishNumber(RealScan& scan)
{
    if (scan.found) return;
    if (scan.numberCut ? !isNonFiniteNumber(scan.longNumber)
                       : !isStepNumber(scan.number) || isFinite(scan.number)) {
        return;
    }
    scan.found = true;
    scan.first.text = scan.number.size() > shownChars ? scan.number.substr(0, shownChars) + "..."
                                                      : scan.number;
    scan.first.entity = scan.entity;
    scan.first.line = scan.numberLine;
}

// One character of the text outside strings and comments.
void scanNormal(RealScan& scan, char c)
{
    // The lexer skips all that follows END-ISO-10303-21; at the end of the data.
    static const char endMark[] = "END-ISO";
    const char upper = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    scan.endMatched = upper == endMark[scan.endMatched] ? scan.endMatched + 1 : upper == 'E';
    if (scan.endMatched == 7) {
        scan.mode = RealScan::Mode::ended;
        return;
    }
    switch (c) {
    case '\'': scan.mode = RealScan::Mode::text; return;
    case '/': scan.mode = RealScan::Mode::slash; return;
    case '#':
        scan.mode = RealScan::Mode::name;
        scan.name = 0;
        return;
    default: break;
    }
    if (isBlank(c)) return;
    if (startsNumber(c) && (scan.lastSignificant == '(' || scan.lastSignificant == ',')) {
        scan.mode = RealScan::Mode::number;
        scan.number.assign(1, c);
        scan.numberCut = false;
        scan.numberLine = scan.line;
    }
    scan.lastSignificant = c;
}

} // namespace

void scanStepText(RealScan& scan, const char* bytes, std::size_t size)
{
    using Mode = RealScan::Mode;
    for (std::size_t i = 0; i < size && scan.mode != Mode::ended; ++i) {
        // Numbers and strings are most of a model's text: their runs are taken whole.
        if (scan.mode == Mode::number) {
            std::size_t end = i;
            while (end < size && (startsNumber(bytes[end]) || bytes[end] == 'E')) ++end;
            takeNumberText(scan, bytes + i, end - i);
            if (end == size) return;
            i = end;
        } else if (scan.mode == Mode::text) {
            while (i < size && bytes[i] != '\'') scan.line += bytes[i++] == '\n';
            if (i == size) return;
        }
        const char c = bytes[i];
        if (c == '\n') ++scan.line;
        switch (scan.mode) {
        case Mode::normal: scanNormal(scan, c); break;
        case Mode::slash:
            scan.mode = Mode::normal;
            scan.lastSignificant = '/';
            if (c == '*') {
                scan.mode = Mode::comment;
            } else {
                scanNormal(scan, c);
            }
            break;
        case Mode::text: scan.mode = Mode::textQuote; break; // c is the quote
        case Mode::textQuote:
            // A quote ends the string only before "," or ")", blanks apart (a doubled one
            // does not): as the lexer has it.
            if (c == ',' || c == ')') {
                scan.mode = Mode::normal;
                scan.lastSignificant = '\'';
                scanNormal(scan, c);
            } else if (c != ' ' && c != '"' && c != '\n' && c != '\r') {
                scan.mode = c == '\'' ? Mode::textQuote : Mode::text;
            }
            break;
        case Mode::comment:
            if (c == '*') scan.mode = Mode::commentStar;
            break;
        case Mode::commentStar:
            if (c == '/') {
                scan.mode = Mode::normal;
            } else if (c != '*') {
                scan.mode = Mode::comment;
            }
            break;
        case Mode::name:
            if (isDigit(c)) {
                if (scan.name < 100000000000L) scan.name = scan.name * 10 + (c - '0');
                break;
            }
            scan.mode = Mode::afterName;
            scan.lastSignificant = '#';
            [[fallthrough]];
        case Mode::afterName:
            if (c == ' ' || c == '\t') break;
            scan.mode = Mode::normal;
            if (c == '=') scan.entity = scan.name;
            scanNormal(scan, c);
            break;
        case Mode::number: // c ends the number
            scan.lastSignificant = scan.number.back();
            scan.mode = Mode::afterNumber;
            [[fallthrough]];
        case Mode::afterNumber:
            if (isBlank(c)) break;
            // A parameter: closed by "," or ")". Anything else was no number to the lexer.
            if (c == ',' || c == ')') finishNumber(scan);
            scan.mode = Mode::normal;
            scanNormal(scan, c);
            break;
        case Mode::ended: break;
        }
    }
}

std::string describeNonFiniteReal(const NonFiniteReal& real)
{
    const std::string where = real.entity != 0
                                  ? "entity #" + std::to_string(real.entity) + " (line " +
                                        std::to_string(real.line) + ")"
                                  : "line " + std::to_string(real.line) + " of its header";
    return where + " holds the number " + real.text + ", which is not a finite double";
}
