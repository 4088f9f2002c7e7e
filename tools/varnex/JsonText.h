#pragma once
// JSON text for the commands' --json output: strings quoted and escaped, objects built field
// by field in the order given.

#include <cstdio>
#include <string>
#include <vector>

#include "engine/SignerProof.h"
#include "platform/PrintableText.h"

// Any text, whatever a file put in it, as a valid JSON string.
inline std::string JsonQuote(const std::string& text) { return "\"" + EscapeText(text, TextEscape::kJson) + "\""; }

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

// What proved a verdict: "proven" always; "certificate" (subject, e-mail, SHA-256 fingerprint)
// when a certificate checked the signature; "basis" says which of certificate, bare digest or
// nothing stands behind it.
inline JsonObject& AddProof(JsonObject& o, const SignerProof& proof) {
    o.Bool("proven", proof.Proven());
    switch (proof.basis) {
        case SignerProof::Basis::kCertificate:
            o.Text("basis", "certificate")
                .Raw("certificate", JsonObject()
                                        .Text("subject", proof.subject)
                                        .Text("email", proof.email)
                                        .Text("sha256", proof.sha256)
                                        .Str());
            break;
        case SignerProof::Basis::kBareDigest:
            o.Text("basis", "bare digest");
            break;
        case SignerProof::Basis::kNone:
            o.Text("basis", "none");
            break;
    }
    return o;
}

// A JSON array of documents, one per line.
inline void PrintJsonArray(const std::vector<std::string>& items) {
    std::printf("[");
    for (size_t i = 0; i < items.size(); ++i) std::printf("%s\n  %s", i ? "," : "", items[i].c_str());
    std::printf("%s]\n", items.empty() ? "" : "\n");
}
