#pragma once

#include <cstddef>
#include <string>

/// A real number of a STEP file that no double holds: its text and where it stands.
struct NonFiniteReal {
    std::string text;  ///< as written, cut short past 40 characters
    long entity = 0;   ///< the instance it is a parameter of (#entity); 0 in the header
    long line = 0;     ///< from 1
};

/// What decides a number too long to keep whole, taken as its characters pass: whether the
/// library's lexer takes it for a number, and where its value stands as the library converts it.
struct LongNumber {
    enum class Part { first, mantissa, exponentSign, exponent, none };
    Part part = Part::first;
    long long mantissaChars = 0;
    bool point = false;               ///< a "." in the mantissa
    bool valueEnded = false;          ///< a second "." ended the value: the rest is not part of it
    long long beforePoint = 0;        ///< digits of the value before its point
    long long leadingZeros = 0;       ///< digits of the value before its first significant one
    std::string significant;          ///< the value's first significant digits
    bool moreSignificant = false;     ///< a digit other than 0 past those
    bool negativeExponent = false;
    int exponentDigits = 0;
    long exponent = 0;                ///< capped past 19999, where the library's conversion caps it
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
    std::string number;          ///< the number being read, its first characters if long
    bool numberCut = false;      ///< the number is longer than `number` holds: see `longNumber`
    LongNumber longNumber;
    long numberLine = 0;
    bool found = false;
    NonFiniteReal first;         ///< the first real found that no double holds
};

/// Scans `size` bytes of a STEP file's text, going on from where `scan` stands. The numbers are
/// taken as the library's reader takes them (a parameter: after "(" or "," and before "," or
/// ")", outside strings and comments, "#12 =" naming the instance), whatever their length, and
/// the first whose value is not a finite double (1.E400, say, or an integer of 400 digits, which
/// the reader converts like a real; 1.E308 is finite) is kept in `scan.first`.
void scanStepText(RealScan& scan, const char* bytes, std::size_t size);

/// The problem that `real` is for the model: "entity #12 (line 40) holds the number 1.E400,
/// which is not a finite double".
std::string describeNonFiniteReal(const NonFiniteReal& real);
