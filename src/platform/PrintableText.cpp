#include "platform/PrintableText.h"

#include <cstdio>

namespace {

// The character at text[i]: its code point and length in bytes, or length 0 when the byte
// begins no valid UTF-8 character (a stray continuation byte, an overlong form, a surrogate, a
// value beyond U+10FFFF, or a character cut short).
size_t DecodeUtf8(std::string_view text, size_t i, char32_t& cp) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    size_t length = 0;
    char32_t least = 0;
    if ((lead & 0xe0) == 0xc0) {
        length = 2, cp = lead & 0x1f, least = 0x80;
    } else if ((lead & 0xf0) == 0xe0) {
        length = 3, cp = lead & 0x0f, least = 0x800;
    } else if ((lead & 0xf8) == 0xf0) {
        length = 4, cp = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xc0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3f);
    }
    if (cp < least || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return 0;
    return length;
}

bool MustEscape(char32_t cp) {
    return cp < 0x20 || cp == 0x7f || (cp >= 0x80 && cp <= 0x9f) || cp == 0x200e || cp == 0x200f ||
           (cp >= 0x2028 && cp <= 0x202e) || (cp >= 0x2066 && cp <= 0x2069);
}

void Append(std::string& out, const char* format, unsigned value) {
    char text[12];
    std::snprintf(text, sizeof text, format, value);
    out += text;
}

}  // namespace

std::string EscapeText(std::string_view text, TextEscape form) {
    const bool json = form == TextEscape::kJson;
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const size_t length = DecodeUtf8(text, i, cp);
        if (length == 0) {
            out += json ? "\\\\x" : "\\x";
            Append(out, "%02x", static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        if (json && (cp == '"' || cp == '\\')) {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (form == TextEscape::kLines && (cp == '\n' || (cp == '\r' && text.substr(i, 2) == "\r\n"))) {
            if (cp == '\n') out += '\n';  // a line break, written once for "\r\n"
        } else if (cp == '\n' || cp == '\r' || cp == '\t') {
            out += cp == '\n' ? "\\n" : cp == '\r' ? "\\r" : "\\t";
        } else if (MustEscape(cp)) {
            Append(out, json || cp >= 0x80 ? "\\u%04x" : "\\x%02x", static_cast<unsigned>(cp));
        } else {
            out.append(text.substr(i, length));
        }
        i += length;
    }
    return out;
}
