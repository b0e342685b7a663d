#include "match_terms.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

bool isCertain(MatchKind kind)
{
    return kind == MatchKind::same || kind == MatchKind::changed || kind == MatchKind::split ||
           kind == MatchKind::merged || kind == MatchKind::reshaped;
}

const char* matchKindName(MatchKind kind)
{
    switch (kind) {
    case MatchKind::same: return "same";
    case MatchKind::changed: return "changed";
    case MatchKind::split: return "split";
    case MatchKind::merged: return "merged";
    case MatchKind::reshaped: return "reshaped";
    case MatchKind::gone: return "gone";
    case MatchKind::unsure: break;
    }
    return "unsure";
}

MatchTolerance measureTolerance(const std::vector<SampledFace>& oldFaces,
                                const std::vector<SampledFace>& newFaces,
                                const Bnd_Box& alsoBounds)
{
    Bnd_Box whole = alsoBounds;
    for (const auto* faces : {&oldFaces, &newFaces}) {
        for (const SampledFace& face : *faces) whole.Add(face.box);
    }
    return measureTolerance(whole);
}

MatchTolerance measureTolerance(const Bnd_Box& whole)
{
    const double size = whole.IsVoid() ? 1 : std::sqrt(whole.SquareExtent());
    return {1e-6 * size, 1e-3 * size};
}

double pairTolerance(const MatchTolerance& tolerance, double a, double b)
{
    return std::min(tolerance.base + a + b, tolerance.most);
}

std::string formatNumber(double value)
{
    if (std::abs(value) < 1e-9) value = 0;
    char digits[32];
    const auto end =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 6).ptr;
    return std::string(digits, end);
}

std::string joinNumbers(const std::vector<int>& numbers)
{
    std::string text;
    for (const int number : numbers) text += (text.empty() ? "" : ", ") + std::to_string(number);
    return text;
}
