#include "cache_options.hpp"

#include "option_value.hpp"

#include <cstdlib>
#include <stdexcept>

const char* const cacheOptionsHelp =
    "  --cache DIR        keep each STEP model read in the model cache DIR, or\n"
    "                     take it from there (default: $TARNFOLD_CACHE; '' for none)\n"
    "  --cache-size SIZE  bound of DIR, such as 500M or 4G (default 2G): the least\n"
    "                     recently used models are removed to stay within it\n";

namespace {

// A whole number of bytes, or of K, M, G or T (powers of 1024, "iB" or "B" after it allowed).
std::uint64_t parseSize(const std::string& text)
{
    const auto refuse = [&]() -> std::uint64_t {
        throw std::invalid_argument("--cache-size needs a size such as 500M, 4G or 1048576, not '" +
                                    text + "'");
    };
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0 || digits > 15) return refuse();
    std::string unit = text.substr(digits);
    for (const char* ending : {"iB", "B"}) {
        const std::string e = ending;
        if (unit.size() > e.size() && unit.compare(unit.size() - e.size(), e.size(), e) == 0) {
            unit.erase(unit.size() - e.size());
            break;
        }
    }
    int shift = 0;
    if (unit == "K" || unit == "k")
        shift = 10;
    else if (unit == "M")
        shift = 20;
    else if (unit == "G")
        shift = 30;
    else if (unit == "T")
        shift = 40;
    else if (!unit.empty())
        return refuse();
    const std::uint64_t number = std::strtoull(text.substr(0, digits).c_str(), nullptr, 10);
    if (number == 0 || number > (std::uint64_t(1) << (62 - shift))) return refuse();
    return number << shift;
}

} // namespace

CacheSettings cacheFromEnvironment()
{
    CacheSettings cache;
    if (const char* directory = std::getenv(cacheVariable)) cache.directory = directory;
    return cache;
}

bool takeCacheOption(int argc, char** argv, int& i, CacheSettings& cache)
{
    std::string value;
    if (takeOptionValue("--cache", argc, argv, i, value)) {
        cache.directory = value;
        return true;
    }
    if (takeOptionValue("--cache-size", argc, argv, i, value)) {
        cache.sizeLimit = parseSize(value);
        return true;
    }
    return false;
}
