#pragma once

#include <cstddef>
#include <string>

/// What a number of a STEP file is to the library, when it is a reason to refuse the model.
enum class RealTrouble {
    none,
    notFinite, ///< no double holds it (1.E400)
    infinite,  ///< a double, but one the library takes for infinite: 1.E100 or more in magnitude
    word,      ///< a word where a number belongs that the reader converts to NaN or infinity
    noLength,  ///< a semi-axis of an ellipse below the library's smallest length, 1.E-7
};

/// The library's smallest length (Precision::Confusion): an ellipse with a shorter semi-axis
/// sends its intersections round for ever.
constexpr double smallestLength = 1e-7;

/// What `text`, a parameter as the library's lexer cuts it, is to the library: RealTrouble::none
/// for anything its lexer does not take for a number, an integer or a real (the reader converts
/// both to a double where it reads a real).
RealTrouble judgeNumberText(const std::string& text);

/// The double the library converts `text` to; NaN for text its lexer takes for no number.
double convertNumberText(const std::string& text);

/// Whether `word`, a word standing alone where a number belongs, is one that the reader's
/// conversion takes for NaN or infinity ("NaN", "inf", "Infinity", any case).
bool isNonFiniteWord(const std::string& word);

/// What decides a number too long to keep whole, taken as its characters pass: whether the
/// library's lexer takes it for a number, and where its value stands as the library converts it.
struct LongNumber {
    enum class Part { first, mantissa, exponentSign, exponent, none };
    Part part = Part::first;
    long long mantissaChars = 0;
    bool point = false;           ///< a "." in the mantissa
    bool valueEnded = false;      ///< a second "." ended the value: the rest is not part of it
    long long beforePoint = 0;    ///< digits of the value before its point
    long long leadingZeros = 0;   ///< digits of the value before its first significant one
    std::string significant;      ///< the value's first significant digits
    bool moreSignificant = false; ///< a digit other than 0 past those
    bool negativeExponent = false;
    int exponentDigits = 0;
    long exponent = 0;            ///< capped past 19999, where the library's conversion caps it
};

/// Takes the next `size` characters of a long number into `number`.
void takeLongNumber(LongNumber& number, const char* text, std::size_t size);

/// What judgeNumberText would say of the whole text that `number` took.
RealTrouble judgeLongNumber(const LongNumber& number);

/// The magnitude of what convertNumberText would give for the whole text that `number` took.
double convertLongNumber(const LongNumber& number);
