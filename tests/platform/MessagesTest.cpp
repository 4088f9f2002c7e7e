// Messages by name and their catalogues: every message of every table has both translations,
// each taking the arguments its default text takes; the compiled catalogues are found beside
// the program and answer by id; the default texts stand in the C locale.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <thread>

#include "../desktop/Messages.h"
#include "../tools/varnex/CliDemoMessages.h"
#include "../tools/varnex/CliHelpMessages.h"
#include "../tools/varnex/CliMessages.h"
#include "TestSupport.h"
#include "advanced/Messages.h"
#include "dialogs/Messages.h"
#include "directory/Messages.h"
#include "engine/Messages.h"
#include "envelope/Messages.h"
#include "formats/Messages.h"
#include "logon/Messages.h"
#include "logon/StoreMessages.h"
#include "mail/Messages.h"
#include "package/Messages.h"
#include "password/Messages.h"
#include "platform/MessageCatalogue.h"
#include "platform/Messages.h"
#include "platform/ScriptedHost.h"
#include "platform/TerminalMessages.h"
#include "shell/Messages.h"
#include "signature/Messages.h"

namespace {

namespace fs = std::filesystem;

// Every subsystem's table. A new table is added here; the check below fails until it is.
const std::vector<std::span<const MessageDef* const>> kTables = {
    msg::advanced::kTable, msg::dialogs::kTable,   msg::engine::kTable,      msg::envelope::kTable,
    msg::formats::kTable,  msg::mail::kTable,      msg::package::kTable,     msg::password::kTable,
    msg::shell::kTable,    msg::signature::kTable, msg::cli::kTable,         msg::logon::kTable,
    msg::cli_help::kTable, msg::cli_demo::kTable,  msg::logon_store::kTable, msg::terminal::kTable,
    msg::desktop::kTable,  msg::directory::kTable,
};

struct PoEntry {
    std::string id, text, translation;
    bool fuzzy = false;
};

// The C-escaped string literals of one po keyword ("msgid" and its continuation lines).
std::string Unescape(const std::string& quoted) {
    std::string out;
    for (size_t i = 1; i + 1 < quoted.size(); ++i) {
        if (quoted[i] != '\\') {
            out += quoted[i];
            continue;
        }
        const char c = quoted[++i];
        out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    return out;
}

// The entries of a po file by id (msgctxt); the header entry has none and is left out.
std::map<std::string, PoEntry> ReadPo(const std::string& path) {
    std::map<std::string, PoEntry> entries;
    std::ifstream in(path);
    std::string line, keyword;
    PoEntry entry;
    auto finish = [&] {
        if (!entry.id.empty()) entries[entry.id] = entry;
        entry = PoEntry{};
    };
    while (std::getline(in, line)) {
        if (line.empty()) {
            finish();
        } else if (line.starts_with("#,")) {
            entry.fuzzy = entry.fuzzy || line.find("fuzzy") != std::string::npos;
        } else if (line[0] == '"') {
            std::string piece = Unescape(line);
            (keyword == "msgctxt" ? entry.id : keyword == "msgid" ? entry.text : entry.translation) += piece;
        } else if (line[0] != '#') {
            keyword = line.substr(0, line.find(' '));
            std::string piece = Unescape(line.substr(line.find(' ') + 1));
            (keyword == "msgctxt" ? entry.id : keyword == "msgid" ? entry.text : entry.translation) = piece;
        }
    }
    finish();
    return entries;
}

}  // namespace

TEST(MessageCatalogue, EveryMessageHasBothTranslationsTakingItsArguments) {
    std::map<std::string, const MessageDef*> messages;
    for (auto table : kTables)
        for (const MessageDef* m : table) EXPECT_TRUE(messages.emplace(m->Id(), m).second) << "twice: " << m->Id();
    // Every table in the tree is walked.
    std::set<std::string> listed;
    for (const auto& [id, m] : messages) listed.insert(m->subsystem);
    const std::regex subsystem(R"re(kMessageSubsystem\[\] = "([^"]+)")re");
    for (const char* root : {"/../src", "/../tools", "/../desktop"}) {
        for (const auto& file : fs::recursive_directory_iterator(std::string(VARNEX_TEST_SOURCE_DIR) + root)) {
            if (file.path().filename().string().find("Messages.h") == std::string::npos) continue;
            std::ifstream in(file.path());
            std::string text((std::istreambuf_iterator<char>(in)), {});
            std::smatch m;
            if (std::regex_search(text, m, subsystem)) {
                EXPECT_TRUE(listed.count(m[1])) << file.path() << ": its table is not in kTables";
            }
        }
    }

    for (const char* language : {"en", "zh_CN"}) {
        const std::map<std::string, PoEntry> po = ReadPo(std::string(VARNEX_TEST_PO_DIR) + "/" + language + ".po");
        for (const auto& [id, m] : messages) {
            auto found = po.find(id);
            if (found == po.end()) {
                ADD_FAILURE() << language << ": no translation of " << id;
                continue;
            }
            const PoEntry& e = found->second;
            EXPECT_EQ(e.text, m->text) << language << ": " << id << " translates another default text";
            EXPECT_FALSE(e.translation.empty()) << language << ": " << id << " is untranslated";
            EXPECT_FALSE(e.fuzzy) << language << ": " << id << " is fuzzy";
            EXPECT_TRUE(PlaceholdersAgree(m->text, e.translation)) << language << ": " << id << ": " << e.translation;
        }
        for (const auto& [id, e] : po) EXPECT_TRUE(messages.count(id)) << language << ": " << id << " is in no table";
    }
}

TEST(MessageCatalogue, TranslationsTakeTheSameArgumentsInAnyOrder) {
    struct Case {
        const char* original;
        const char* translation;
        bool agree;
    } cases[] = {
        {"\"%s\"不是文件", "\"%s\" is not a file", true},
        {"%s: %d", "%2$d (%1$s)", true},
        {"版本为: %4.2f", "version %.2f", true},
        {"%zu of %s", "%2$s: %1$zu", true},
        {"100%% %s", "%s 100%%", true},
        {"%s", "%d", false},
        {"%d", "%ld", false},
        {"%s", "%s %s", false},
        {"%s %s", "%1$s %s", false},    // numbered and plain mixed
        {"%s %s", "%1$s %1$s", false},  // the second argument never taken
        {"%s", "%n%s", false},
        {"%s", "%*s", false},
        {"%s", "trailing %", false},
    };
    for (const Case& c : cases) EXPECT_EQ(PlaceholdersAgree(c.original, c.translation), c.agree) << c.translation;
}

TEST(MessageCatalogue, LanguageFollowsLanguageThenTheLocale) {
    struct Case {
        const char *language, *lcAll, *lcMessages, *lang;
        std::vector<std::string> wanted;
    } cases[] = {
        {nullptr, nullptr, nullptr, "en_US.UTF-8", {"en_US", "en"}},
        {nullptr, nullptr, nullptr, "zh_CN.UTF-8", {"zh_CN", "zh"}},
        {nullptr, "en_GB.utf8@euro", nullptr, "zh_CN.UTF-8", {"en_GB", "en"}},
        {nullptr, nullptr, "en_AU", "zh_CN.UTF-8", {"en_AU", "en"}},
        {"en", nullptr, nullptr, "zh_CN.UTF-8", {"en", "zh_CN", "zh"}},
        {"en", nullptr, nullptr, "C", {"en"}},
        {"", nullptr, nullptr, "C.UTF-8", {}},
        {nullptr, nullptr, nullptr, "POSIX", {}},
        {nullptr, "C", nullptr, "en_US.UTF-8", {}},
        {nullptr, nullptr, nullptr, nullptr, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WantedLanguages(c.language, c.lcAll, c.lcMessages, c.lang), c.wanted) << (c.lang ? c.lang : "-");
}

TEST(MessageCatalogue, BuiltCataloguesAnswerByIdAndTheDefaultTextsStandInC) {
    ScriptedHost host;
    ScopedUiHost scoped(host);
    const std::unique_ptr<IMessageCatalogue> english =
        OpenMessageCatalogue(WantedLanguages(nullptr, nullptr, nullptr, "en_US.UTF-8"));
    const std::unique_ptr<IMessageCatalogue> chinese =
        OpenMessageCatalogue(WantedLanguages(nullptr, nullptr, nullptr, "zh_CN.UTF-8"));
    const std::unique_ptr<IMessageCatalogue> plain =
        OpenMessageCatalogue(WantedLanguages(nullptr, nullptr, nullptr, "C"));
    ASSERT_TRUE(english && chinese && plain);
    for (const IMessageCatalogue* catalogue : {english.get(), chinese.get(), plain.get()}) {
        ScopedMessageCatalogue language(*catalogue);
        ShowMessage(msg::password::NotFileOrFolder, std::string("a\"b"));
    }
    EXPECT_EQ(
        host.MessageTexts(),
        (std::vector<std::string>{"\"a\"b\" is not a file or folder, so it cannot be encrypted.",
                                  "\"a\"b\"不是文件或文件夹，不能加密。", "\"a\"b\"不是文件或文件夹，不能加密。"}));
    EXPECT_EQ(host.MessageIds(), std::vector<std::string>(3, "password.NotFileOrFolder"));
    {
        // A token's and a restore's texts read in English too.
        ScopedMessageCatalogue language(*english);
        EXPECT_EQ(MessageText(msg::logon::PinIncorrect, "card"), "The PIN of token \"card\" is incorrect.");
        EXPECT_EQ(MessageText(msg::package::PackageKept, "disk full"), "The package was not wiped: disk full.");
    }
    // A default text the catalogue does not know (an older translation) falls back to itself.
    EXPECT_EQ(english->Text("password.WrongPassword", "another text"), "another text");
}

// Two threads read their messages in the languages bound to them, whatever is installed.
TEST(MessageCatalogue, EachThreadReadsTheCatalogueBoundToIt) {
    const auto english = OpenMessageCatalogue(WantedLanguages(nullptr, nullptr, nullptr, "en_US.UTF-8"));
    const auto chinese = OpenMessageCatalogue(WantedLanguages(nullptr, nullptr, nullptr, "zh_CN.UTF-8"));
    std::string seen[2];
    auto read = [&](const IMessageCatalogue* catalogue, std::string& out) {
        const IMessageCatalogue* previous = BindThreadMessageCatalogue(catalogue);
        for (int i = 0; i < 1000; ++i) out = MessageText(msg::password::WrongPassword);
        BindThreadMessageCatalogue(previous);
    };
    std::thread a(read, english.get(), std::ref(seen[0])), b(read, chinese.get(), std::ref(seen[1]));
    a.join();
    b.join();
    EXPECT_EQ(seen[0], "Sorry, that password is not correct.");
    EXPECT_EQ(seen[1], "对不起，密码错!");
    EXPECT_EQ(MessageText(msg::password::WrongPassword), "对不起，密码错!") << "the suite's own thread reads C";
}

TEST(MessageCatalogue, DamagedCatalogueIsRefusedWhereverItEnds) {
    const fs::path file = fs::path(LocaleFolders().at(0)) / "en/LC_MESSAGES/varnex.mo";
    const std::string bytes = ReadFile(file.string());
    ASSERT_TRUE(GettextCatalogue::Parse(bytes));
    // The strings end the file, so every cut loses one.
    for (size_t n = 0; n < bytes.size(); n += 1 + n / 64)
        EXPECT_EQ(GettextCatalogue::Parse(bytes.substr(0, n)), nullptr) << n;
    // A length or offset pointing past the end is refused, never followed.
    for (size_t field = 8; field < 20; field += 4) {
        std::string damaged = bytes;
        damaged[field + 3] = '\x7f';
        EXPECT_EQ(GettextCatalogue::Parse(damaged), nullptr) << field;
    }
}
