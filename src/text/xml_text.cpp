#include "xml_text.hpp"

std::size_t utf8Length(const std::string& text, std::size_t i)
{
    const unsigned char byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = byte < 0x80                   ? 1
                               : byte >= 0xc2 && byte < 0xe0 ? 2
                               : byte >= 0xe0 && byte < 0xf0 ? 3
                               : byte >= 0xf0 && byte < 0xf5 ? 4
                                                             : 0;
    if (length == 0 || i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((text[i + k] & 0xc0) != 0x80) return 0;
    }
    return length;
}

void appendXmlText(std::string& xml, const std::string& text)
{
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        const std::size_t length = utf8Length(text, i);
        const bool valid = length != 0;
        if (!valid || (byte < 0x20 && byte != '\t') || byte == 0x7f) {
            xml += '?';
            ++i;
            continue;
        }
        switch (byte) {
        case '&': xml += "&amp;"; break;
        case '<': xml += "&lt;"; break;
        case '>': xml += "&gt;"; break;
        case '"': xml += "&quot;"; break;
        default: xml.append(text, i, length);
        }
        i += length;
    }
}
