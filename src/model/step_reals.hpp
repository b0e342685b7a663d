#pragma once

#include <cstddef>
#include <string>

/// A real number of a STEP file that no double holds: its text and where it stands.
struct NonFiniteReal {
    std::string text;  ///< as written, cut short past 40 characters
    long entity = 0;   ///< the instance it is a parameter of (#entity); 0 in the header
    long line = 0;     ///< from 1
};

/// Where a scan of a STEP file's text stands between two pieces of it: the text is scanned as it
/// passes, once, in pieces of any size, as the library's reader reads it.
struct RealScan {
    enum class Mode { normal, slash, text, textQuote, comment, commentStar, name, afterName,
                      number, afterNumber, ended };
    Mode mode = Mode::normal;
    char lastSignificant = '\0'; ///< the last character outside text and comments that is no blank
    long line = 1;
    long entity = 0;             ///< the instance being read
    long name = 0;               ///< digits of a #name being read
    int endMatched = 0;          ///< characters of "END-ISO" matched so far
    std::string number;          ///< the number being read
    long numberLine = 0;
    bool found = false;
    NonFiniteReal first;         ///< the first real found that no double holds
};

/// Scans `size` bytes of a STEP file's text, going on from where `scan` stands. The real numbers
/// are taken as the library's reader takes them (a parameter: after "(" or "," and before "," or
/// ")", outside strings and comments, "#12 =" naming the instance), and the first whose value is
/// not a finite double (1.E400, say; 1.E308 is finite) is kept in `scan.first`.
void scanStepText(RealScan& scan, const char* bytes, std::size_t size);

/// The problem that `real` is for the model: "entity #12 (line 40) holds the number 1.E400,
/// which is not a finite double".
std::string describeNonFiniteReal(const NonFiniteReal& real);
