#include "step_reals.hpp"

#include <algorithm>
#include <cmath>

namespace {

// A longer number is kept only in part, and judged by what decides it (LongNumber).
constexpr std::size_t keptDigits = 4096;

// A number longer than that is shown cut short.
constexpr std::size_t shownChars = 40;

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

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool continuesWord(char c)
{
    return isLetter(c) || isDigit(c) || c == '_';
}

void keep(RealScan& scan, RealTrouble trouble, const std::string& text)
{
    scan.found = true;
    scan.first.trouble = trouble;
    scan.first.text = text.size() > shownChars ? text.substr(0, shownChars) + "..." : text;
    scan.first.entity = scan.entity;
    scan.first.line = scan.numberLine;
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

// Follows an ELLIPSE instance, whose third and fourth parameters are its semi-axes; `c` is a
// character outside strings and comments that is no blank.
void followEllipse(RealScan& scan, char c)
{
    static const char start[] = "ELLIPSE(";
    if (scan.lastSignificant == '=') {
        scan.ellipseMatched = 0; // the type of a new instance
        scan.ellipseDepth = 0;
    }
    if (scan.ellipseDepth == 0) {
        const bool next = scan.ellipseMatched >= 0 && c == start[scan.ellipseMatched];
        scan.ellipseMatched = next ? scan.ellipseMatched + 1 : -1;
        if (scan.ellipseMatched == sizeof start - 1) {
            scan.ellipseDepth = 1;
            scan.ellipseParameter = 1;
        }
    } else if (c == '(') {
        ++scan.ellipseDepth;
    } else if (c == ')') {
        if (--scan.ellipseDepth == 0) scan.ellipseMatched = -1;
    } else if (c == ',' && scan.ellipseDepth == 1) {
        ++scan.ellipseParameter;
    }
}

void finishNumber(RealScan& scan)
{
    if (scan.found) return;
    RealTrouble trouble =
        scan.numberCut ? judgeLongNumber(scan.longNumber) : judgeNumberText(scan.number);
    if (trouble == RealTrouble::none && scan.ellipseDepth == 1 &&
        (scan.ellipseParameter == 3 || scan.ellipseParameter == 4)) {
        // Intersecting an ellipse's edge divides a tolerance by its semi-axis, then adds a full
        // turn to the quotient until it is no longer negative: for ever, when it is no length.
        const double value = scan.numberCut ? convertLongNumber(scan.longNumber)
                                            : convertNumberText(scan.number);
        if (std::fabs(value) < smallestLength) trouble = RealTrouble::noLength;
    }
    if (trouble != RealTrouble::none) keep(scan, trouble, scan.number);
}

// A word where a number belongs is no number to the lexer, but the reader, recovering from it,
// converts one spelled as NaN or infinity to that.
void finishWord(RealScan& scan)
{
    if (!scan.found && isNonFiniteWord(scan.number)) keep(scan, RealTrouble::word, scan.number);
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
    followEllipse(scan, c);
    const bool parameter = scan.lastSignificant == '(' || scan.lastSignificant == ',';
    if (parameter && (startsNumber(c) || isLetter(c))) {
        scan.mode = isLetter(c) ? RealScan::Mode::word : RealScan::Mode::number;
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
        case Mode::word:
            if (continuesWord(c)) {
                if (scan.number.size() <= shownChars) scan.number += c;
                break;
            }
            scan.lastSignificant = scan.number.back();
            scan.mode = Mode::afterWord;
            [[fallthrough]];
        case Mode::afterWord:
            if (isBlank(c)) break;
            // A word alone as a parameter; one before "(" names the type of the parameter.
            if (c == ',' || c == ')') finishWord(scan);
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
    switch (real.trouble) {
    case RealTrouble::infinite:
        return where + " holds the number " + real.text + ", which the library takes for infinite";
    case RealTrouble::noLength:
        return where + " is an ellipse with a semi-axis of " + real.text +
               ", below the library's smallest length, 1.E-7";
    case RealTrouble::word:
        return where + " holds " + real.text +
               " where a number belongs, which the reader converts to one that is not finite";
    default:
        return where + " holds the number " + real.text + ", which is not a finite double";
    }
}
