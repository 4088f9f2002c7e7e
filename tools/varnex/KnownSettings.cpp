#include "KnownSettings.h"

#include <cctype>
#include <vector>

#include "CliMessages.h"
#include "NearestName.h"
#include "logon/ILogon.h"
#include "platform/PrintableText.h"

namespace {

enum class Kind { kText, kTrueFalse, kDigest, kNumber, kMailOn, kIsaCard };

struct Known {
    const char* section;
    const char* key;
    Kind kind;
};

constexpr Known kSettings[] = {
    {"Option", "SIgnID", Kind::kDigest},
    {"Option", "RandFileName", Kind::kTrueFalse},
    {"Option", "AutoSignFile", Kind::kTrueFalse},
    {"Option", "AutoSendPubCert", Kind::kTrueFalse},
    {"Option", "DkeptFile", Kind::kTrueFalse},
    {"Option", "DispDecryptResult", Kind::kTrueFalse},
    {"Option", "WriteTimes", Kind::kNumber},
    {"Option", "LastUser", Kind::kText},
    {"Option", "IsaCard", Kind::kIsaCard},
    {"MAIL", "MAPI", Kind::kMailOn},
    {"MAIL", "Opener", Kind::kText},
    {"Device", "Module", Kind::kText},
    {"Device", "ModuleArgs", Kind::kText},
    {"Directory", "URI", Kind::kText},  // the directory's own check judges its values
    {"Directory", "StartTLS", Kind::kText},
    {"Directory", "Base", Kind::kText},
    {"Directory", "BindDN", Kind::kText},
    {"Directory", "BindPasswordFile", Kind::kText},
    {"Directory", "CAFile", Kind::kText},
    {"Directory", "TimeLimit", Kind::kText},
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

bool OneOf(const std::string& value, std::initializer_list<const char*> allowed) {
    for (const char* a : allowed)
        if (value == a) return true;
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
    if (known == nullptr) return {};
    bool ok = true;
    const char* expected = "";
    switch (known->kind) {
        case Kind::kText:
            return {};
        case Kind::kTrueFalse:
            // Read as TRUE or else as FALSE: a "yes" would quietly mean the opposite for some.
            ok = LogonEqualNoCase(value, "TRUE") || LogonEqualNoCase(value, "FALSE");
            expected = "TRUE, FALSE";
            break;
        case Kind::kDigest:
            ok = OneOf(value, {"8", "42"});
            expected = "8, 42";
            break;
        case Kind::kNumber:
            ok = AllDigits(value);
            expected = "0-999999999";
            break;
        case Kind::kMailOn:
            ok = OneOf(value, {"0", "1"});
            expected = "0, 1";
            break;
        case Kind::kIsaCard:
            ok = OneOf(value, {"0", "1", "2"});
            expected = "0, 1, 2";
            break;
    }
    return ok ? std::string()
              : MessageText(msg::cli::BadSettingValue, EscapeText(value), name.key, name.section, expected);
}
