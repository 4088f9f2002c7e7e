#pragma once
// Message catalogues: the text a person reads in place of a message's default text. Every
// message has an id (its subsystem and name, e.g. "password.WrongPassword") and a default text:
// the engine's own words (Chinese) or the program's (English). A catalogue answers the text for
// one language; the default texts stand wherever a catalogue has no entry, so a missing or
// partial catalogue never hides a message.
//
// Catalogues are GNU gettext catalogues (po/LANG.po compiled by msgfmt into LANG/LC_MESSAGES/
// varnex.mo), keyed as gettext keys a message with a context: msgctxt is the id, msgid the
// default text. A changed default text therefore no longer finds its old translation.

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class IMessageCatalogue {
public:
    virtual ~IMessageCatalogue() = default;
    // The text of message `id` whose default text is `text`.
    virtual std::string Text(std::string_view id, std::string_view text) const = 0;
};

// The default texts, byte for byte (the C and POSIX locales).
class DefaultTexts : public IMessageCatalogue {
public:
    std::string Text(std::string_view, std::string_view text) const override { return std::string(text); }
};

// A compiled gettext catalogue held in memory. Entries whose translation would take other
// arguments than the default text (see PlaceholdersAgree) are left out when it is read, so a
// damaged or careless catalogue can never make a message read past its arguments.
class GettextCatalogue : public IMessageCatalogue {
public:
    // Reads a .mo file; null when it cannot be read or is not a well-formed catalogue.
    static std::unique_ptr<GettextCatalogue> Load(const std::string& path);
    // Parses the bytes of a .mo file; null when they are not a well-formed catalogue.
    static std::unique_ptr<GettextCatalogue> Parse(std::string_view bytes);

    std::string Text(std::string_view id, std::string_view text) const override;
    size_t size() const { return m_entries.size(); }

private:
    std::map<std::string, std::string, std::less<>> m_entries;  // "id\x04default" -> text
};

// The languages to look for, most wanted first, from an environment (LANGUAGE, then the first
// set of LC_ALL, LC_MESSAGES, LANG): LANGUAGE's colon-separated list, then the locale's
// language. Each locale name is tried as given without its codeset and modifier ("zh_CN") and
// then as the bare language ("zh"). C, POSIX and C.* name no language: with them and without
// LANGUAGE the list is empty and the default texts stand.
std::vector<std::string> WantedLanguages(const char* language, const char* lcAll, const char* lcMessages,
                                         const char* lang);

// The folders searched for LANG/LC_MESSAGES/varnex.mo: "locale" beside the program or shared
// library that holds the engine (the build folder), then the installed locale folder.
std::vector<std::string> LocaleFolders();

// The catalogue of one language ("en", "zh_CN"), or null when none is installed.
std::unique_ptr<IMessageCatalogue> OpenMessageCatalogue(std::string_view language);
// The catalogue of the first wanted language that has one, else the default texts.
std::unique_ptr<IMessageCatalogue> OpenMessageCatalogue(const std::vector<std::string>& wanted);

// The catalogue messages are read in: the one bound to the calling thread (the catalogue of the
// engine call running on it), else the one installed, else the one the environment asks for
// (read once, at first use).
const IMessageCatalogue& Messages();
// Binds `catalogue` (not owned) to the calling thread, null unbinding it, and returns the one
// bound before; an engine call binds its engine's catalogue for its length.
const IMessageCatalogue* BindThreadMessageCatalogue(const IMessageCatalogue* catalogue);
// Installs `catalogue` (not owned; it must outlive its installation) and returns the one it
// replaces; null goes back to the environment's.
const IMessageCatalogue* InstallMessageCatalogue(const IMessageCatalogue* catalogue);

// Installs a catalogue for the lifetime of a scope and restores the previous one.
class ScopedMessageCatalogue {
public:
    explicit ScopedMessageCatalogue(const IMessageCatalogue& catalogue)
        : m_previous(InstallMessageCatalogue(&catalogue)) {}
    ~ScopedMessageCatalogue() { InstallMessageCatalogue(m_previous); }
    ScopedMessageCatalogue(const ScopedMessageCatalogue&) = delete;
    ScopedMessageCatalogue& operator=(const ScopedMessageCatalogue&) = delete;

private:
    const IMessageCatalogue* m_previous;
};
