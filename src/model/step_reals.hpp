#pragma once

#include "step_real_values.hpp"

#include <cstddef>
#include <string>

/// A number of a STEP file that is a reason to refuse the model: its text and where it stands.
struct NonFiniteReal {
    RealTrouble trouble = RealTrouble::notFinite;
    std::string text;  ///< as written, cut short past 40 characters
    long entity = 0;   ///< the instance it is a parameter of (#entity); 0 in the header
    long line = 0;     ///< from 1
};

/// Where a scan of a STEP file's text stands between two pieces of it: the text is scanned as it
/// passes, once, in pieces of any size, as the library's reader reads it.
struct RealScan {
    enum class Mode { normal, slash, text, textQuote, comment, commentStar, name, afterName,
                      number, afterNumber, word, afterWord, ended };
    Mode mode = Mode::normal;
    char lastSignificant = '\0'; ///< the last character outside text and comments that is no blank
    long line = 1;
    long entity = 0;             ///< the instance being read
    long name = 0;               ///< digits of a #name being read
    int endMatched = 0;          ///< characters of "END-ISO" matched so far
    std::string number;          ///< the number or word being read, its first characters if long
    bool numberCut = false;      ///< the number is longer than `number` holds: see `longNumber`
    LongNumber longNumber;
    long numberLine = 0;
    int ellipseMatched = -1;     ///< characters of "ELLIPSE(" matched at an instance's type
    int ellipseDepth = 0;        ///< within an ELLIPSE instance: the depth of its parentheses
    int ellipseParameter = 0;    ///< the parameter of the ELLIPSE instance being read, from 1
    bool found = false;
    NonFiniteReal first;         ///< the first number found that is a reason to refuse the model
};

/// Scans `size` bytes of a STEP file's text, going on from where `scan` stands. The numbers are
/// taken as the library's reader takes them (a parameter: after "(" or "," and before "," or
/// ")", outside strings and comments, "#12 =" naming the instance), whatever their length, and
/// the first that is a reason to refuse the model (see RealTrouble: 1.E400, an integer of 400
/// digits, which the reader converts like a real, 1.E100, NaN spelled as a word, or a semi-axis
/// of an ellipse of 0.) is kept in `scan.first`.
void scanStepText(RealScan& scan, const char* bytes, std::size_t size);

/// The problem that `real` is for the model: "entity #12 (line 40) holds the number 1.E400,
/// which is not a finite double", or "..., which the library takes for infinite" for 1.E100.
std::string describeNonFiniteReal(const NonFiniteReal& real);
