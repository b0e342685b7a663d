#include "table_fields.hpp"

std::string escapeField(const std::string& text)
{
    std::string field;
    field.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\': field += "\\\\"; break;
        case '\t': field += "\\t"; break;
        case '\n': field += "\\n"; break;
        case '\r': field += "\\r"; break;
        default: field += c;
        }
    }
    return field;
}

bool unescapeField(const std::string& field, std::string& text)
{
    text.clear();
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            text += field[i];
            continue;
        }
        if (++i == field.size()) return false;
        switch (field[i]) {
        case '\\': text += '\\'; break;
        case 't': text += '\t'; break;
        case 'n': text += '\n'; break;
        case 'r': text += '\r'; break;
        default: return false;
        }
    }
    return true;
}
