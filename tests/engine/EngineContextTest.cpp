// Engines given their own context: two engines with two hosts and two stores on two threads at
// once, each host seeing only its own engine's messages, dialogs and progress; and the guard
// that turns what escapes an entry point into its failure result.

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <thread>

#include "TestLogon.h"
#include "advanced/AdvanceEmcrypt.h"
#include "formats/EncryptFlag.h"
#include "mail/MailEncrypt.h"
#include "password/PasswordPackager.h"
#include "platform/MessageCatalogue.h"

namespace {

// One engine's world: its host, its store with one logged-on user, its folder.
struct Side {
    explicit Side(const std::string& id) : user(id), password("pw-" + id) {
        EXPECT_NE(logon.AddUser(user, user, user + "@example.org", password), 0) << logon.LastError();
        EXPECT_TRUE(logon.LogOn(user, password)) << logon.LastError();
        MakeTree(dir.Path(), {{"src/"}, {"src/a.txt", 700000}, {"src/sub/"}, {"src/sub/b.txt", 1000}, {"c.txt", 5000}});
        std::filesystem::create_directories(dir / "out");
        host.AddAnswer("password", "pack-" + id);
    }
    std::string user, password;
    ScriptedHost host;
    TestLogon logon;
    TempDir dir;
    int packed = 0, restored = 0, sealed = 0, opened = 0, missing = 0;
};

// A password package made and restored, a file encrypted in place for the user and restored,
// and a file that is not there: what a person at this engine's screen sees of each.
void Work(Side& s) {
    CAdvanceEmcrypt engine(EngineContext{&s.host, &s.logon});
    PasswordPackRequest request;
    request.packagePath = s.dir / "p.pkg";
    request.paths = {s.dir / "src"};
    request.baseFolder = s.dir.Path();
    request.password = "pack-" + s.user;
    request.notifyWindow = s.host.Window();
    s.packed = PackWithPassword(engine, request);
    engine.m_presetOutFolder = s.dir / "out";
    s.restored = engine.SymmtryDecryptFiles(request.packagePath.c_str(), s.host.Window(), 0, 0);

    const std::string plain = ReadFile(s.dir / "c.txt");
    s.sealed = engine.EncryptMuchFiles(PathList({s.dir / "c.txt"}).c_str(), s.user.c_str(), s.password.c_str(),
                                       s.host.Window());
    const std::string package = engine.m_outcomes.empty() ? "" : engine.m_outcomes[0].package;
    s.opened = engine.KeloDecryptFile(PathList({package}).c_str(), s.host.Window(), 0);
    s.opened = s.opened == 1 && ReadFile(s.dir / "out/c.txt") == plain;

    EncryptFlag head;
    s.missing = engine.GetEncryptedFileHead((s.dir / "missing").c_str(), &head, 1);
}

// Everything `host` was shown names only `own`'s folder, never `other`'s.
void ExpectOnlyOwn(const ScriptedHost& host, const Side& own, const Side& other) {
    auto foreign = [&](const std::string& text) { return text.find(other.dir.Path()) != std::string::npos; };
    for (const auto& m : host.Messages()) EXPECT_FALSE(foreign(m.text)) << m.text;
    for (const auto& d : host.Dialogs())
        for (const auto& line : d.lines) EXPECT_FALSE(foreign(line)) << line;
    bool ownProgress = false;
    for (const auto& p : host.Progress()) {
        EXPECT_FALSE(foreign(p.path)) << p.path;
        ownProgress |= p.path.find(own.dir.Path()) != std::string::npos;
    }
    for (const auto& w : host.WindowMessages()) EXPECT_FALSE(foreign(w.path)) << w.path;
    EXPECT_TRUE(ownProgress);
    int passwordDialogs = 0, openFailures = 0;
    for (const auto& d : host.Dialogs()) passwordDialogs += d.kind == "password";
    for (const auto& m : host.Messages()) openFailures += m.text.rfind("打开文件失败.", 0) == 0;
    EXPECT_EQ(passwordDialogs, 1);
    EXPECT_EQ(openFailures, 1);
}

class EngineContextTest : public HostTest {};

TEST_F(EngineContextTest, TwoEnginesOnTwoThreadsEachSeeOnlyTheirOwnHostAndStore) {
    Side alice("alice"), bob("bob");
    std::thread first([&] { Work(alice); });
    std::thread second([&] { Work(bob); });
    first.join();
    second.join();

    for (Side* s : {&alice, &bob}) {
        SCOPED_TRACE(s->user);
        EXPECT_EQ(s->packed, 1);
        EXPECT_EQ(s->restored, 1);
        EXPECT_EQ(s->sealed, 1);
        EXPECT_EQ(s->opened, 1);
        EXPECT_EQ(s->missing, 0);
        ExpectSameTree(s->dir / "src", s->dir / "out/src");
    }
    ExpectOnlyOwn(alice.host, alice, bob);
    ExpectOnlyOwn(bob.host, bob, alice);
    // Nothing went to the installed host, and no store was installed at all.
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_TRUE(host.Dialogs().empty());
    EXPECT_TRUE(host.Progress().empty());
}

// A logon library that fails in a way no library should: by throwing.
class ThrowingLogon : public TestLogon {
public:
    std::function<void()> raise;
    int GetLogonUser(std::string&, SecretText&, int&) override {
        raise();
        return 0;
    }
};

TEST_F(EngineContextTest, WhatEscapesAnEntryIsShownOnceAndAnswersItsFailure) {
    struct Row {
        std::function<void()> raise;
        std::string message;
    };
    const Row rows[] = {
        {[] { throw std::bad_alloc(); }, "内存不足。"},
        {[] { throw std::runtime_error("boom"); }, "内部错误: boom"},
        {[] { throw 7; }, "内部错误。"},
        {[] { throw CFileException::FromErrno(EIO, "x"); },
         "读文件出错.\n\n" + CFileException::FromErrno(EIO, "x").ErrorText()},
    };
    WriteFile(dir / "p.vrk", "not a package");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        ScriptedHost own;
        ThrowingLogon logon;
        logon.raise = row.raise;
        CMailEncrypt engine(EngineContext{&own, &logon});
        ENCRYPT_MAIL_ARG arg{};
        EXPECT_EQ(engine.EnvelopDecryptFiles((dir / "p.vrk").c_str(), nullptr, 0, 0), 0);
        EXPECT_EQ(engine.EncryptMail(&arg), 0);
        EXPECT_EQ(own.MessageTexts(), std::vector<std::string>(2, row.message));
        EXPECT_TRUE(host.Messages().empty());
    }
}

TEST_F(EngineContextTest, AnEntryShowsItsTextsFromItsEnginesCatalogueAndPutsTheThreadsBack) {
    struct Tagged : IMessageCatalogue {
        std::string Text(std::string_view id, std::string_view) const override { return "[" + std::string(id) + "]"; }
    } tagged;
    ScriptedHost own;
    ThrowingLogon logon;
    logon.raise = [] { throw 7; };
    CMailEncrypt engine(EngineContext{&own, &logon, nullptr, &tagged});
    const IMessageCatalogue* before = &Messages();
    ENCRYPT_MAIL_ARG arg{};
    EXPECT_EQ(engine.EncryptMail(&arg), 0);
    EXPECT_EQ(own.MessageTexts(), std::vector<std::string>{"[engine.InternalError]"});
    EXPECT_EQ(&Messages(), before);
}

}  // namespace
