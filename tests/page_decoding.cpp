// The data of a page of tarnfold-faces --html, decoded without the code that encoded it: its
// own base64, zlib's inflate, and the layout the page's scripts read.
#include "page_decoding.hpp"

#include <regex>

#include <gtest/gtest.h>
#include <zlib.h>

namespace {

std::string decodeBase64(const std::string& text)
{
    const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    unsigned bits = 0, value = 0;
    for (const char c : text) {
        if (c == '=') break;
        value = (value << 6) | unsigned(alphabet.find(c));
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += char((value >> bits) & 0xff);
        }
    }
    return bytes;
}

gp_XYZ readVector(const std::string& json, const std::string& name)
{
    std::smatch m;
    const std::regex pattern('"' + name + "\":\\[([^,]+),([^,]+),([^\\]]+)\\]");
    EXPECT_TRUE(std::regex_search(json, m, pattern)) << name;
    return m.empty() ? gp_XYZ() : gp_XYZ(std::stod(m[1]), std::stod(m[2]), std::stod(m[3]));
}

} // namespace

PageData readPageData(const std::string& page)
{
    PageData data;
    const std::string open = "<script type=\"application/json\" id=\"model-data\">";
    const std::size_t start = page.find(open);
    EXPECT_NE(start, std::string::npos);
    if (start == std::string::npos) return data;
    data.json = page.substr(start + open.size(),
                            page.find("</script>", start) - start - open.size());
    data.low = readVector(data.json, "low");
    data.high = readVector(data.json, "high");
    std::smatch m;
    if (std::regex_search(data.json, m, std::regex("\"indexBytes\":([0-9])"))) {
        data.indexBytes = std::stoi(m[1]);
    }
    EXPECT_TRUE(std::regex_search(data.json, m, std::regex("\"data\":\"([A-Za-z0-9+/=]*)\"")));
    const std::string packed = decodeBase64(m[1]);
    std::vector<std::pair<std::string, std::size_t>> sizes;
    const std::regex section("\\[\"([a-zA-Z]+)\",([0-9]+)\\]");
    std::size_t total = 0;
    for (std::sregex_iterator it(data.json.begin(), data.json.end(), section), end; it != end;
         ++it) {
        sizes.emplace_back((*it)[1], std::stoul((*it)[2]));
        total += sizes.back().second;
    }
    std::string bytes(total, '\0');
    uLongf size = total;
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(bytes.data()), &size,
                         reinterpret_cast<const Bytef*>(packed.data()), uLong(packed.size())),
              Z_OK);
    EXPECT_EQ(size, total);
    std::size_t at = 0;
    for (const auto& [name, length] : sizes) {
        data.sections[name] = bytes.substr(at, length);
        at += length;
    }
    return data;
}

std::vector<std::uint32_t> readNumbers(const std::string& bytes, int width)
{
    std::vector<std::uint32_t> numbers;
    for (std::size_t i = 0; i + std::size_t(width) <= bytes.size(); i += std::size_t(width)) {
        std::uint32_t value = 0;
        for (int k = width - 1; k >= 0; --k) {
            value = (value << 8) | static_cast<unsigned char>(bytes[i + std::size_t(k)]);
        }
        numbers.push_back(value);
    }
    return numbers;
}

// Stored axis by axis, each as its difference from the one before.
std::vector<gp_Pnt> readNodes(const PageData& data)
{
    const std::vector<std::uint32_t> deltas = readNumbers(data.sections.at("positions"), 2);
    const std::size_t count = deltas.size() / 3;
    std::vector<gp_Pnt> nodes(count);
    for (int axis = 1; axis <= 3; ++axis) {
        std::uint32_t value = 0;
        for (std::size_t n = 0; n < count; ++n) {
            value = (value + deltas[std::size_t(axis - 1) * count + n]) & 0xffff;
            nodes[n].SetCoord(axis, data.low.Coord(axis) + value / 65535.0 *
                                                               (data.high.Coord(axis) -
                                                                data.low.Coord(axis)));
        }
    }
    return nodes;
}

