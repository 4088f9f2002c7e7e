#include "platform/Messages.h"

#include <algorithm>
#include <cstring>

#include "platform/UiHost.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a decimal number at text[i]; false when there is none.
bool Number(std::string_view text, size_t& i, int& value) {
    const size_t start = i;
    value = 0;
    while (i < text.size() && IsDigit(text[i]) && i - start < 4) value = value * 10 + (text[i++] - '0');
    return i > start && !(i < text.size() && IsDigit(text[i]));
}

// The class of a conversion character: what the argument is read as.
const char* ConversionClass(char c) {
    switch (c) {
        case 'd':
        case 'i':
            return "d";
        case 'u':
        case 'o':
        case 'x':
        case 'X':
            return "u";
        case 'f':
        case 'F':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            return "f";
        case 'c':
            return "c";
        case 's':
            return "s";
        case 'p':
            return "p";
        default:
            return nullptr;  // %n and anything unknown
    }
}

}  // namespace

bool ParsePlaceholders(std::string_view text, std::vector<Placeholder>& out) {
    out.clear();
    bool numbered = false, plain = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        if (++i >= text.size()) return false;
        if (text[i] == '%') continue;
        int argument = static_cast<int>(out.size()) + 1;
        size_t mark = i;
        int n = 0;
        if (Number(text, i, n) && i < text.size() && text[i] == '$' && n > 0) {
            argument = n;
            numbered = true;
            ++i;
        } else {
            i = mark;
            plain = true;
        }
        while (i < text.size() && std::strchr("-+ #0'", text[i]) != nullptr) ++i;
        while (i < text.size() && IsDigit(text[i])) ++i;
        if (i < text.size() && text[i] == '.') {
            ++i;
            while (i < text.size() && IsDigit(text[i])) ++i;
        }
        std::string kind;
        while (i < text.size() && std::strchr("hlLqjzt", text[i]) != nullptr) kind += text[i++];
        if (i >= text.size() || kind.size() > 2) return false;
        const char* cls = ConversionClass(text[i]);
        if (cls == nullptr) return false;
        out.push_back({argument, kind + cls});
    }
    if (numbered && plain) return false;
    std::sort(out.begin(), out.end(),
              [](const Placeholder& a, const Placeholder& b) { return a.argument < b.argument; });
    for (size_t k = 0; k < out.size(); ++k)
        if (out[k].argument != static_cast<int>(k) + 1) return false;
    return true;
}

bool PlaceholdersAgree(std::string_view original, std::string_view translation) {
    std::vector<Placeholder> a, b;
    return ParsePlaceholders(original, a) && ParsePlaceholders(translation, b) && a == b;
}

MessageDef FindMessage(std::span<const MessageDef* const> table, const char* text) {
    for (const MessageDef* m : table)
        if (std::strcmp(m->text, text) == 0) return *m;
    return MessageDef{"", "", text, MB_OK};
}

namespace message_detail {

std::string Template(const MessageDef& m) { return Messages().Text(m.Id(), m.text); }

int Show(const MessageDef& m, const std::string& text) { return UiHost().NamedMessageBox(m.Id(), text, m.type); }

}  // namespace message_detail
