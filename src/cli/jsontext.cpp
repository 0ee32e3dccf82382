#include "jsontext.h"

#include <QString>

#include <charconv>
#include <cmath>

namespace JsonText {

std::string string(std::string_view utf8)
{
    const std::string valid =
        QString::fromUtf8(utf8.data(), qsizetype(utf8.size())).toUtf8().toStdString();
    std::string out;
    out.reserve(valid.size() + 2);
    out += '"';
    for (const char c : valid) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                static constexpr char hex[] = "0123456789abcdef";
                out += "\\u00";
                out += hex[(c >> 4) & 0xf];
                out += hex[c & 0xf];
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

std::string number(double value)
{
    if (!std::isfinite(value))
        return "null"; // JSON has no spelling for these
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

} // namespace JsonText
