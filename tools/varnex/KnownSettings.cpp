#include "KnownSettings.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

#include "CliMessages.h"
#include "NearestName.h"
#include "logon/ILogon.h"
#include "platform/PrintableText.h"

namespace {

// The values a setting is read as meaning: any text (null), a number (kNumber), or one of a list
// (any case; the list is also what the refusal shows).
constexpr char kNumber[] = "0-999999999";
constexpr char kTrueFalse[] = "TRUE, FALSE";

struct Known {
    const char* section;
    const char* key;
    const char* values;
};

constexpr Known kSettings[] = {
    {"Option", "SIgnID", "8, 42"},
    {"Option", "RandFileName", kTrueFalse},
    {"Option", "AutoSignFile", kTrueFalse},
    {"Option", "AutoSendPubCert", kTrueFalse},
    {"Option", "DkeptFile", kTrueFalse},
    {"Option", "DispDecryptResult", kTrueFalse},
    {"Option", "WriteTimes", kNumber},
    {"Option", "LastUser", nullptr},
    {"Option", "IsaCard", "0, 1, 2"},
    {"MAIL", "MAPI", "0, 1"},
    {"MAIL", "Opener", nullptr},
    {"Device", "Module", nullptr},
    {"Device", "ModuleArgs", nullptr},
    {"Directory", "URI", nullptr},  // the directory's own check judges its values
    {"Directory", "StartTLS", nullptr},
    {"Directory", "Base", nullptr},
    {"Directory", "BindDN", nullptr},
    {"Directory", "BindPasswordFile", nullptr},
    {"Directory", "CAFile", nullptr},
    {"Directory", "TimeLimit", nullptr},
};

const Known* Find(const SettingName& name) {
    for (const Known& k : kSettings)
        if (name.section == k.section && name.key == k.key) return &k;
    return nullptr;
}

bool AllDigits(const std::string& text) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// Whether value is one of the ", "-separated list, in any case.
bool OneOf(const std::string& value, std::string_view list) {
    for (size_t start = 0; start <= list.size();) {
        const size_t end = std::min(list.find(", ", start), list.size());
        if (LogonEqualNoCase(value, list.substr(start, end - start))) return true;
        start = end + 2;
    }
    return false;
}

}  // namespace

bool KnownSetting(const std::string& section, const std::string& key, SettingName& out, std::string& error) {
    std::vector<std::string> sections;
    const char* knownSection = nullptr;
    for (const Known& k : kSettings) {
        if (sections.empty() || sections.back() != k.section) sections.push_back(k.section);
        if (LogonEqualNoCase(section, k.section)) knownSection = k.section;
    }
    if (knownSection == nullptr) {
        const std::string near = NearestName(section, sections);
        error = near.empty() ? MessageText(msg::cli::UnknownSection, EscapeText(section))
                             : MessageText(msg::cli::UnknownSectionNear, EscapeText(section), near);
        return false;
    }
    std::vector<std::string> keys;
    for (const Known& k : kSettings) {
        if (std::string(k.section) != knownSection) continue;
        if (LogonEqualNoCase(key, k.key)) {
            out = {k.section, k.key};
            return true;
        }
        keys.push_back(k.key);
    }
    const std::string near = NearestName(key, keys);
    error = near.empty() ? MessageText(msg::cli::UnknownSetting, EscapeText(key), knownSection)
                         : MessageText(msg::cli::UnknownSettingNear, EscapeText(key), knownSection, near);
    return false;
}

std::string CheckSettingValue(const SettingName& name, const std::string& value) {
    const Known* known = Find(name);
    if (known == nullptr || known->values == nullptr) return {};
    const bool ok = known->values == kNumber ? AllDigits(value) : OneOf(value, known->values);
    return ok ? std::string()
              : MessageText(msg::cli::BadSettingValue, EscapeText(value), name.key, name.section, known->values);
}
