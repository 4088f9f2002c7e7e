#include "platform/MessageCatalogue.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "formats/ByteCursor.h"
#include "platform/Messages.h"
#include "platform/Module.h"

namespace {

namespace fs = std::filesystem;

// Where the catalogues lie relative to the program or the library that holds the engine; set
// by the build from the install folders.
#ifndef VARNEX_LOCALE_FROM_BIN
#define VARNEX_LOCALE_FROM_BIN "../share/locale"
#endif
#ifndef VARNEX_LOCALE_FROM_LIB
#define VARNEX_LOCALE_FROM_LIB "../share/locale"
#endif

constexpr char kDomain[] = "varnex";
constexpr uint32_t kMoMagic = 0x950412de;
// A catalogue is a few hundred kilobytes; anything far larger is not one of ours.
constexpr size_t kMaxCatalogueBytes = 16u << 20;

// The NUL-ended string a .mo table entry (length, offset) points at, or false.
bool TableString(std::string_view bytes, uint32_t length, uint32_t offset, std::string& out) {
    if (offset > bytes.size() || length >= bytes.size() - offset || bytes[offset + length] != '\0') return false;
    out.assign(bytes.substr(offset, length));
    return true;
}

bool IsCLocale(std::string_view name) {
    return name == "C" || name == "POSIX" || name.starts_with("C.") || name.starts_with("C@");
}

void AddLocale(std::string_view name, std::vector<std::string>& out) {
    if (name.empty() || IsCLocale(name)) return;
    std::string_view bare = name.substr(0, name.find_first_of(".@"));
    std::string_view language = bare.substr(0, bare.find('_'));
    for (std::string_view candidate : {bare, language}) {
        if (candidate.empty()) continue;
        if (std::find(out.begin(), out.end(), candidate) == out.end()) out.emplace_back(candidate);
    }
}

std::atomic<const IMessageCatalogue*> g_installed{nullptr};
thread_local const IMessageCatalogue* t_bound = nullptr;

}  // namespace

std::unique_ptr<GettextCatalogue> GettextCatalogue::Load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return nullptr;
    std::string bytes;
    char block[65536];
    while (in.read(block, sizeof block) || in.gcount() > 0) {
        bytes.append(block, static_cast<size_t>(in.gcount()));
        if (bytes.size() > kMaxCatalogueBytes) return nullptr;
    }
    return Parse(bytes);
}

std::unique_ptr<GettextCatalogue> GettextCatalogue::Parse(std::string_view bytes) {
    ByteCursor head(bytes.data(), bytes.size());
    // msgfmt writes the catalogue in the byte order of the machine it runs on: this one.
    const uint32_t magic = head.U32le();
    const uint32_t revision = head.U32le();
    const uint32_t count = head.U32le();
    const uint32_t originals = head.U32le();
    const uint32_t translations = head.U32le();
    if (!head.Ok() || magic != kMoMagic || (revision >> 16) > 1) return nullptr;
    if (count > bytes.size() / 16 || originals > bytes.size() || translations > bytes.size()) return nullptr;

    auto catalogue = std::unique_ptr<GettextCatalogue>(new GettextCatalogue);
    ByteCursor keys(bytes.data() + originals, bytes.size() - originals);
    ByteCursor texts(bytes.data() + translations, bytes.size() - translations);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t keyLength = keys.U32le(), keyOffset = keys.U32le();
        const uint32_t textLength = texts.U32le(), textOffset = texts.U32le();
        std::string key, text;
        if (!keys.Ok() || !texts.Ok() || !TableString(bytes, keyLength, keyOffset, key) ||
            !TableString(bytes, textLength, textOffset, text))
            return nullptr;
        // Only messages with a context are ours (the header entry has none); a translation
        // that would take other arguments than the default text is left out.
        const size_t separator = key.find('\x04');
        if (separator == std::string::npos || text.empty()) continue;
        if (!PlaceholdersAgree(std::string_view(key).substr(separator + 1), text)) continue;
        catalogue->m_entries.emplace(std::move(key), std::move(text));
    }
    return catalogue;
}

std::string GettextCatalogue::Text(std::string_view id, std::string_view text) const {
    std::string key;
    key.reserve(id.size() + 1 + text.size());
    key.append(id).append(1, '\x04').append(text);
    auto found = m_entries.find(key);
    return found == m_entries.end() ? std::string(text) : found->second;
}

std::vector<std::string> WantedLanguages(const char* language, const char* lcAll, const char* lcMessages,
                                         const char* lang) {
    std::vector<std::string> out;
    std::string_view list = language ? language : "";
    while (!list.empty()) {
        const size_t colon = list.find(':');
        AddLocale(list.substr(0, colon), out);
        list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
    }
    for (const char* locale : {lcAll, lcMessages, lang}) {
        if (locale != nullptr && *locale != '\0') {
            AddLocale(locale, out);
            break;
        }
    }
    return out;
}

std::vector<std::string> LocaleFolders() {
    std::vector<std::string> folders;
    const std::string own = OwnFolder();
    if (own.empty()) return folders;
    for (const char* relative : {"locale", VARNEX_LOCALE_FROM_BIN, VARNEX_LOCALE_FROM_LIB}) {
        std::string folder = (fs::path(own) / relative).lexically_normal().string();
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
    }
    return folders;
}

std::unique_ptr<IMessageCatalogue> OpenMessageCatalogue(std::string_view language) {
    if (language.empty() || language.find('/') != std::string_view::npos || language.starts_with(".")) return nullptr;
    for (const std::string& folder : LocaleFolders()) {
        const fs::path file = fs::path(folder) / std::string(language) / "LC_MESSAGES" / (std::string(kDomain) + ".mo");
        if (auto catalogue = GettextCatalogue::Load(file.string())) return catalogue;
    }
    return nullptr;
}

std::unique_ptr<IMessageCatalogue> OpenMessageCatalogue(const std::vector<std::string>& wanted) {
    for (const std::string& language : wanted)
        if (auto catalogue = OpenMessageCatalogue(language)) return catalogue;
    return std::make_unique<DefaultTexts>();
}

const IMessageCatalogue& Messages() {
    if (t_bound != nullptr) return *t_bound;
    if (const IMessageCatalogue* installed = g_installed.load()) return *installed;
    static const std::unique_ptr<IMessageCatalogue> fromEnvironment = OpenMessageCatalogue(WantedLanguages(
        std::getenv("LANGUAGE"), std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG")));
    return *fromEnvironment;
}

const IMessageCatalogue* BindThreadMessageCatalogue(const IMessageCatalogue* catalogue) {
    const IMessageCatalogue* previous = t_bound;
    t_bound = catalogue;
    return previous;
}

const IMessageCatalogue* InstallMessageCatalogue(const IMessageCatalogue* catalogue) {
    return g_installed.exchange(catalogue);
}
