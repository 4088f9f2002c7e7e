#pragma once
// JSON text for the commands' --json output: strings quoted and escaped, objects built field
// by field in the order given.

#include <cstdio>
#include <string>
#include <vector>

inline std::string JsonQuote(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
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
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

class JsonObject {
public:
    JsonObject& Raw(const std::string& key, const std::string& value) {
        m_text += (m_text.empty() ? "" : ", ") + JsonQuote(key) + ": " + value;
        return *this;
    }
    JsonObject& Text(const std::string& key, const std::string& value) { return Raw(key, JsonQuote(value)); }
    JsonObject& Number(const std::string& key, long long value) { return Raw(key, std::to_string(value)); }
    JsonObject& Bool(const std::string& key, bool value) { return Raw(key, value ? "true" : "false"); }
    JsonObject& Texts(const std::string& key, const std::vector<std::string>& values) {
        std::string list;
        for (const std::string& v : values) list += (list.empty() ? "" : ", ") + JsonQuote(v);
        return Raw(key, "[" + list + "]");
    }
    std::string Str() const { return "{" + m_text + "}"; }

private:
    std::string m_text;
};

// A JSON array of documents, one per line.
inline void PrintJsonArray(const std::vector<std::string>& items) {
    std::printf("[");
    for (size_t i = 0; i < items.size(); ++i) std::printf("%s\n  %s", i ? "," : "", items[i].c_str());
    std::printf("%s]\n", items.empty() ? "" : "\n");
}
