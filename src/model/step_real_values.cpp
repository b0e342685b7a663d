#include "step_real_values.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <locale.h>

namespace {

// More than the 309 digits of the largest double: what follows can only round it.
constexpr std::size_t significantDigits = 330;

// The library takes a value this large for infinite (Precision::IsInfinite): a B-spline with
// such a knot has an infinite range, on which its healing goes round for ever.
constexpr double libraryInfinity = 1e100;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool startsNumber(char c)
{
    return isDigit(c) || c == '-' || c == '+' || c == '.';
}

// Whether `text` is a number as the library's lexer takes it: an integer, [-+0-9][0-9]*, or a
// real, [-+.0-9][.0-9]+(E[-+0-9][0-9]*)? with a point or an exponent.
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

// Converted in the C locale, whatever the process's is.
double convert(const std::string& text)
{
#ifdef _WIN32
    static const _locale_t classic = _create_locale(LC_ALL, "C");
    return _strtod_l(text.c_str(), nullptr, classic);
#else
    static const locale_t classic = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return strtod_l(text.c_str(), nullptr, classic);
#endif
}

RealTrouble judgeConverted(const std::string& text)
{
    const double value = convert(text);
    if (!std::isfinite(value)) return RealTrouble::notFinite;
    return std::fabs(value) >= libraryInfinity ? RealTrouble::infinite : RealTrouble::none;
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

} // namespace

RealTrouble judgeNumberText(const std::string& text)
{
    if (!isStepNumber(text)) return RealTrouble::none;
    // Most numbers are plainly below the library's infinity by their count of digits and
    // exponent; only the others are converted.
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
    if (magnitude + exponent < 100) return RealTrouble::none;
    return judgeConverted(text);
}

double convertNumberText(const std::string& text)
{
    return isStepNumber(text) ? convert(text) : std::nan("");
}

bool isNonFiniteWord(const std::string& word)
{
    // The conversion reads "nan" and "inf" at the start of a word, in any case.
    if (word.size() < 3) return false;
    std::string start = word.substr(0, 3);
    for (char& c : start) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return start == "nan" || start == "inf";
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

namespace {

bool isLongNumber(const LongNumber& number)
{
    using Part = LongNumber::Part;
    return number.part == Part::exponent ||
           (number.part == Part::mantissa && (!number.point || number.mantissaChars >= 2));
}

// The value of a long number is 0.<significant digits> times ten to this.
long long placeOf(const LongNumber& number)
{
    long long place = number.beforePoint - number.leadingZeros;
    if (!number.valueEnded && number.exponentDigits > 0) {
        // The library's conversion takes a larger exponent for 19999.
        const long exponent = std::min(number.exponent, 19999L);
        place += number.negativeExponent ? -exponent : exponent;
    }
    return place;
}

std::string shortFormOf(const LongNumber& number, long long place)
{
    return "0." + number.significant + (number.moreSignificant ? "1" : "") + "E" +
           std::to_string(place);
}

} // namespace

RealTrouble judgeLongNumber(const LongNumber& number)
{
    if (!isLongNumber(number) || number.significant.empty()) return RealTrouble::none;
    const long long place = placeOf(number);
    if (place < 100) return RealTrouble::none;
    if (place > 309) return RealTrouble::notFinite;
    return judgeConverted(shortFormOf(number, place));
}

double convertLongNumber(const LongNumber& number)
{
    if (!isLongNumber(number)) return std::nan("");
    if (number.significant.empty()) return 0.0;
    const long long place = placeOf(number);
    if (place > 309) return HUGE_VAL;
    return convert(shortFormOf(number, std::max(place, -400LL)));
}
