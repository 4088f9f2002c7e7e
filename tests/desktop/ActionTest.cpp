// The recipient chooser and the actions that use it, as a person meets them: the certificate
// state of each user and group, the filter box, who a choice makes a package for, and each
// action run on a worker thread with its questions answered on the GUI thread.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QWindow>
#include <filesystem>

#include "ActionRunner.h"
#include "Actions.h"
#include "CertConfirmation.h"
#include "DesktopTestSupport.h"
#include "EngineWorker.h"
#include "LogonEntry.h"
#include "MainWindow.h"
#include "Messages.h"
#include "ProgressWindow.h"
#include "QtUiHost.h"
#include "RecipientChooser.h"
#include "Recipients.h"
#include "TestLogon.h"
#include "engine/Korvane.h"
#include "logon/LogonKeys.h"
#include "password/PasswordPackager.h"
#include "platform/ScriptedHost.h"
#ifdef VARNEX_DIRECTORY
#include "directory/DirectoryServer.h"
#endif

namespace fs = std::filesystem;

namespace {

// alice (logged on), bob: confirmed; carol: never confirmed; dave: changed since confirmed;
// erin: no certificate. Groups: team {carol, erin}, ghosts {erin}.
void MakePeople(TestLogon& store) {
    for (const char* id : {"alice", "bob", "carol", "dave", "erin"}) {
        std::string name = id;
        name[0] = static_cast<char>(std::toupper(name[0]));
        ASSERT_NE(store.AddUser(id, name, std::string(id) + "@example.org", std::string("pw-") + id), 0) << id;
    }
    store.AddGroup("team");
    ASSERT_TRUE(store.AddGroupMembers("team", {"carol", "erin"}));
    store.AddGroup("ghosts");
    ASSERT_TRUE(store.AddGroupMembers("ghosts", {"erin"}));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((store.Home() + "/logon.db").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "UPDATE certs SET confirmed = zeroblob(0) WHERE name = 'carol';"
                           "UPDATE certs SET der = (SELECT der FROM certs WHERE name = 'bob') WHERE name = 'dave';"
                           "DELETE FROM certs WHERE name = 'erin';",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    ASSERT_TRUE(store.LogOn("alice", "pw-alice"));
}

int RowOf(const RecipientChoice& choice, const std::string& id) {
    for (size_t i = 0; i < choice.Rows().size(); ++i)
        if (choice.Rows()[i].id == id) return static_cast<int>(i);
    return -1;
}

}  // namespace

// A certificate outside its dates is shown as such and cannot be chosen, confirmed or not.
TEST(DesktopRecipients, CertificatesOutsideTheirDatesAreNotUsable) {
    TestLogon store;
    for (const char* id : {"fred", "gina"}) ASSERT_NE(store.AddUser(id, id, "", "pw-12345"), 0) << id;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((store.Home() + "/logon.db").c_str(), &db), SQLITE_OK);
    for (const auto& [id, fromDays, toDays] : {std::tuple{"fred", -30L, -1L}, std::tuple{"gina", 2L, 30L}}) {
        logon::PkeyPtr key = TestRsaKey(id);
        logon::X509Ptr cert = logon::MakeSelfSignedCert(key.get(), id, "");
        X509_gmtime_adj(X509_getm_notBefore(cert.get()), fromDays * 86400);
        X509_gmtime_adj(X509_getm_notAfter(cert.get()), toDays * 86400);
        ASSERT_GT(X509_sign(cert.get(), key.get(), EVP_sha256()), 0);
        const std::vector<unsigned char> der = logon::CertToDer(cert.get()), print = logon::CertFingerprint(der);
        sqlite3_stmt* update = nullptr;
        ASSERT_EQ(
            sqlite3_prepare_v2(db, "UPDATE certs SET der = ?1, confirmed = ?2 WHERE name = ?3", -1, &update, nullptr),
            SQLITE_OK);
        sqlite3_bind_blob(update, 1, der.data(), static_cast<int>(der.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(update, 2, print.data(), static_cast<int>(print.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(update, 3, id, -1, SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(update), SQLITE_DONE);
        sqlite3_finalize(update);
    }
    sqlite3_close(db);
    StoreRecipients source(store);
    RecipientChoice choice(RecipientChoice::ReadAll({&source}), "fred", false);
    for (const auto& [id, note] :
         {std::pair{"fred", msg::desktop::CertExpiredState}, std::pair{"gina", msg::desktop::CertNotYetState}}) {
        const int row = RowOf(choice, id);
        ASSERT_GE(row, 0) << id;
        EXPECT_EQ(choice.Rows()[row].certState, kCertConfirmed) << id;
        EXPECT_FALSE(choice.Rows()[row].Usable()) << id;
        EXPECT_EQ(choice.Rows()[row].stateNote, MessageText(note)) << id;
    }
}

TEST(DesktopRecipients, StateFilterAndWhoIsChosen) {
    TestLogon store;
    MakePeople(store);
    StoreRecipients source(store);
    RecipientChoice choice(RecipientChoice::ReadAll({&source}), "alice", false);

    struct State {
        const char* id;
        int state;
        bool usable;
    } states[] = {{"alice", kCertConfirmed, true}, {"bob", kCertConfirmed, true}, {"carol", kCertNeverConfirmed, true},
                  {"dave", kCertModified, false},  {"erin", kCertUnknown, false}, {"team", kCertUnknown, true},
                  {"ghosts", kCertUnknown, false}};
    for (const State& s : states) {
        const int row = RowOf(choice, s.id);
        ASSERT_GE(row, 0) << s.id;
        EXPECT_EQ(choice.Rows()[row].certState, s.state) << s.id;
        EXPECT_EQ(choice.Rows()[row].Usable(), s.usable) << s.id;
    }

    struct Filter {
        const char* text;
        std::vector<std::string> shown;
    } filters[] = {{"", {"alice", "bob", "carol", "dave", "erin", "team", "ghosts"}},
                   {"CAR", {"carol", "team"}},
                   {"example.org ali", {"alice"}},
                   {"  erin  ", {"erin", "team", "ghosts"}},
                   {"nobody", {}}};
    for (const Filter& f : filters) {
        std::vector<std::string> shown;
        for (size_t i = 0; i < choice.Rows().size(); ++i)
            if (choice.Matches(i, f.text)) shown.push_back(choice.Rows()[i].id);
        EXPECT_EQ(shown, f.shown) << f.text;
    }

    // The dialog: a row no package can be made for has no check box; the filter hides rows; OK
    // waits for someone to be chosen; a group stands for its usable members, me too comes first.
    RecipientChooser dialog(choice);
    dialog.Build();
    dialog.show();
    QTreeWidget* list = dialog.List();
    auto item = [&](const char* id) { return list->topLevelItem(RowOf(choice, id)); };
    EXPECT_FALSE(item("dave")->flags() & Qt::ItemIsUserCheckable);
    EXPECT_TRUE(item("carol")->flags() & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(dialog.Button(RecipientChoice::kIdOk)->isEnabled());
    QTest::keyClicks(dialog.Filter(), "car");
    EXPECT_TRUE(item("bob")->isHidden());
    EXPECT_FALSE(item("team")->isHidden());
    item("team")->setCheckState(0, Qt::Checked);
    item("dave")->setCheckState(0, Qt::Checked);
    EXPECT_TRUE(dialog.Button(RecipientChoice::kIdOk)->isEnabled());
    EXPECT_EQ(choice.ChosenUserIds(), std::vector<std::string>{"carol"});
    dialog.MeToo()->click();
    EXPECT_EQ(choice.ChosenUserIds(), (std::vector<std::string>{"alice", "carol"}));
    EXPECT_EQ(choice.ChosenShareEntries().size(), 1u);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.Answer(), RecipientChoice::kIdCancel);
}

namespace {

// Runs one action on a worker thread as the program does, answering on this thread: the logon
// password, the recipients to tick, Yes or No to questions, Cancel to file choices. The texts
// of the message boxes shown come back in `said`.
struct ActionRun {
    std::string home;
    QtUiHost host;
    RunAnswers answers;
    std::string password = "pw-alice";
    std::string search;             // typed into the chooser's filter and looked up, when the filter is empty
    bool confirm = false;           // the answer to a certificate's confirmation
    std::vector<std::string> said;  // message boxes, and "report: " + each report's verdict and note

    // Answers every question shown on this thread from now until the timer goes.
    std::unique_ptr<QTimer> Answer(const std::vector<std::string>& tick, QMessageBox::StandardButton question) {
        said.clear();
        auto answer = std::make_unique<QTimer>();
        QObject::connect(answer.get(), &QTimer::timeout, [this, tick, question] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                said.push_back(box->text().toStdString());
                box->button(box->button(question) ? question : QMessageBox::Ok)->click();
            } else if (auto* chooser = qobject_cast<RecipientChooser*>(modal);
                       chooser && !search.empty() && chooser->Filter()->text().isEmpty()) {
                QTest::keyClicks(chooser->Filter(), QString::fromStdString(search));
                chooser->Button(RecipientChoice::kIdSearch)->click();
            } else if (auto* certificate = qobject_cast<ModelDialog*>(modal);
                       certificate &&
                       certificate->windowTitle().toStdString() == MessageText(msg::desktop::CertConfirmTitle)) {
                said.push_back("certificate");
                certificate->Button(confirm ? CertConfirmation::kIdConfirm : CertConfirmation::kIdRefuse)->click();
            } else if (auto* chooser = qobject_cast<RecipientChooser*>(modal)) {
                for (int i = 0; i < chooser->List()->topLevelItemCount(); ++i) {
                    QTreeWidgetItem* row = chooser->List()->topLevelItem(i);
                    for (const std::string& id : tick)
                        if (row->text(1).toStdString() == id) row->setCheckState(0, Qt::Checked);
                }
                chooser->Button(RecipientChoice::kIdOk)->click();
            } else if (auto* dialog = qobject_cast<ModelDialog*>(modal); dialog && dialog->Entry()) {
                QTest::keyClicks(dialog->Entry(), QString::fromStdString(password));
                QTest::keyClick(dialog->Entry(), Qt::Key_Return);
            } else if (auto* report = qobject_cast<ModelDialog*>(modal)) {
                std::string seen = "report:";
                for (const char* part : {"verdict", "unconfirmed"})
                    if (auto* label = report->findChild<QLabel*>(QLatin1String(part)))
                        seen += " " + label->text().toStdString();
                said.push_back(seen);
                QTest::keyClick(report, Qt::Key_Escape);
            } else if (auto* files = qobject_cast<QFileDialog*>(modal)) {
                files->reject();
            }
        });
        answer->start(20);
        return answer;
    }

    int Run(const char* action, const std::vector<std::string>& files, const std::vector<std::string>& tick,
            QMessageBox::StandardButton question) {
        const std::unique_ptr<QTimer> answer = Answer(tick, question);
        EngineWorker worker(host, home, [&](CKorvane& engine, LogonStore& store) {
            ActionJob job{host, engine, store, files, answers};
            return FindAction(action)(job);
        });
        worker.start();
        EXPECT_TRUE(WaitUntil([&] { return worker.isFinished(); })) << action;
        worker.wait();
        return worker.Result();
    }
};

bool Said(const std::vector<std::string>& said, const std::string& part) {
    for (const std::string& text : said)
        if (text.find(part) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST(DesktopActions, EachActionAsksItsQuestionsAndMakesWhatItSays) {
    TestLogon store;
    MakePeople(store);
    TempDir dir;
    const std::string a = dir / "a.txt", b = dir / "b.txt", c = dir / "c.txt", d = dir / "d.txt", e = dir / "e.txt",
                      f = dir / "f.txt";
    const std::string content = RandomBytes(100000, 7);
    for (const std::string& path : {a, b, c, d, e, f}) WriteFile(path, content);
    const std::string h = dir / "h.txt";  // with another name outside the batch
    WriteFile(h, content);
    fs::create_hard_link(h, dir / "h-other.txt");
    ActionRun run;
    run.home = store.Home();
    ChooseLogonUser("alice");
    const auto No = QMessageBox::No;

    struct Case {
        const char* action;
        std::vector<std::string> files;
        std::vector<std::string> tick;
        QMessageBox::StandardButton question;
        int result;
        std::string said;  // part of the last message
        std::vector<std::string> made;
        std::vector<std::string> gone;
        bool asksCount = false;
    } cases[] = {
        // Two files, "one package?" No: one package each; asked once per run.
        {"envelope", {a, b}, {"bob"}, No, 1, "2", {a + ".vrk", b + ".vrk"}, {}, true},
        {"envelope", {a, b}, {"bob"}, QMessageBox::Yes, 1, "2", {a + " (2).vrk", b + " (2).vrk"}, {}, false},
        {"encrypt", {c}, {}, No, 1, c + " -> ", {}, {c}},
        {"encrypt", {h}, {}, No, 0, "still on the disk", {dir / "h-other.txt"}, {h}},
        {"share", {d}, {"team"}, No, 1, dir.Path(), {}, {d}},
        {"mail", {e}, {"bob"}, No, 1, MessageText(msg::desktop::MailPacked, "").substr(0, 10), {}, {}},
        {"sign", {f}, {}, No, 1, "1", {f + ".idi"}, {}},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(run.Run(k.action, k.files, k.tick, k.question), k.result) << k.action;
        ASSERT_FALSE(run.said.empty()) << k.action << ": nothing visible at the end";
        EXPECT_NE(run.said.back().find(k.said), std::string::npos) << k.action << ": " << run.said.back();
        for (const std::string& path : k.made) EXPECT_TRUE(fs::exists(path)) << k.action << ": " << path;
        for (const std::string& path : k.gone) EXPECT_FALSE(fs::exists(path)) << k.action << ": " << path;
        EXPECT_EQ(Said(run.said, MessageText(msg::desktop::OnePackage, 2)), k.asksCount) << k.action;
    }

    // The team was allowed for the folder; its usable member was chosen, erin (no certificate) not.
    Insure_Decrypt_Men share;
    ASSERT_TRUE(store.ReadDecryptMen({}, dir.Path(), share));
    ASSERT_EQ(share.entries.size(), 1u);
    EXPECT_EQ(share.entries[0].type, kDecryptManGroup);

    // Verification: the signed file gone (its search cancelled), then a good signature.
    fs::rename(f, dir / "moved");
    EXPECT_EQ(run.Run("verify", {f + ".idi"}, {}, No), 0);
    EXPECT_TRUE(Said(run.said, MessageText(msg::desktop::VerifyFileMissing, f + ".idi"))) << run.said.back();
    fs::rename(dir / "moved", f);
    EXPECT_EQ(run.Run("verify", {f + ".idi"}, {}, No), 1);
    ASSERT_EQ(run.said.size(), 1u);
    EXPECT_EQ(run.said[0].find(MessageText(msg::desktop::VerifyNotConfirmed)), std::string::npos) << run.said[0];

    {
        // bob opens his envelope: the same bytes.
        ASSERT_TRUE(store.LogOn("bob", "pw-bob"));
        ScriptedHost quiet;
        ScopedUiHost installedHost(quiet);
        ScopedLogonLibrary installedLogon(&store);
        fs::create_directories(dir / "bob");
        CKorvane engine;
        engine.m_presetOutFolder = dir / "bob";
        engine.m_batchSuccess = 1;
        ASSERT_EQ(engine.EnvelopDecryptFiles((a + ".vrk").c_str(), nullptr, 0, 1), 1);
        EXPECT_EQ(ReadFile(dir / "bob/a.txt"), content);
    }

    // Signed by carol, whose certificate nobody confirmed: correct, with the note. Signed by bob,
    // whose certificate is then removed: not checked, and said why.
    const std::string g = dir / "g.txt";
    WriteFile(g, content);
    for (const char* signer : {"carol", "bob"}) {
        ChooseLogonUser(signer);
        run.password = std::string("pw-") + signer;
        ASSERT_EQ(run.Run("sign", {g}, {}, No), 1) << signer;
        if (std::string(signer) == "carol") {
            EXPECT_EQ(run.Run("verify", {g + ".idi"}, {}, No), 1);
            ASSERT_EQ(run.said.size(), 1u);
            EXPECT_NE(run.said[0].find(MessageText(msg::desktop::VerifyNotConfirmed)), std::string::npos)
                << run.said[0];
            fs::remove(g + ".idi");
        }
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((store.Home() + "/logon.db").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "DELETE FROM certs WHERE name = 'bob'", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    EXPECT_EQ(run.Run("verify", {g + ".idi"}, {}, No), 0);
    EXPECT_TRUE(Said(run.said, MessageText(msg::desktop::VerifyNoCertificate, g + ".idi", "Bob<bob@example.org>")))
        << run.said.back();
    ChooseLogonUser("alice");

    ChooseLogonUser({});
}

// Drops `path` on `window` at `at` as the window system delivers a drag: it enters the window,
// moves to the point, drops.
void DropOn(QWidget& window, QPoint at, const std::string& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.windowHandle(), &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.windowHandle(), &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.windowHandle(), &drop);
}

// Files dropped on an action of the main window run that action with them; a second drop while
// it runs waits for it; files dropped on a progress window run the same action once more.
TEST(DesktopActions, FilesDroppedOnAnActionRunIt) {
    TestLogon store;
    TempDir dir;
    ActionRun run;
    ActionRunner runner(run.host, store.Home());
    MainWindow window(runner);
    window.show();
    const std::unique_ptr<QTimer> answer = run.Answer({}, QMessageBox::Ok);
    ActionList* list = window.Actions();
    QListWidgetItem* verify =
        list->findItems(QString::fromStdString(MessageText(msg::desktop::ActionVerify)), Qt::MatchExactly).value(0);
    ASSERT_NE(verify, nullptr);
    const QPoint at = list->viewport()->mapTo(&window, list->visualItemRect(verify).center());
    DropOn(window, at, dir / "one.idi");
    DropOn(window, at, dir / "two.idi");
    ASSERT_TRUE(WaitUntil([&] { return !runner.Busy() && run.said.size() == 2; }));
    EXPECT_EQ(run.said[0], MessageText(msg::desktop::NotVerified, dir / "one.idi"));
    EXPECT_EQ(run.said[1], MessageText(msg::desktop::NotVerified, dir / "two.idi"));
    EXPECT_EQ(runner.Result(), 0);

    std::unique_ptr<IProgressView> view = run.host.CreateProgressView("title", "text");
    ProgressWindow* progress = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<ProgressWindow*>(top); found && found->isVisible()) progress = found;
    ASSERT_NE(progress, nullptr);
    DropOn(*progress, QPoint(5, 5), dir / "three.idi");
    view->Finish();
    ASSERT_TRUE(WaitUntil([&] { return !runner.Busy() && run.said.size() == 3; }));
    EXPECT_EQ(run.said[2], MessageText(msg::desktop::NotVerified, dir / "three.idi"));
}

// A certificate is confirmed only by its own button: a blanket yes, Enter or no answer refuse it.
TEST(DesktopRecipients, CertificateIsConfirmedOnlyByItsOwnButton) {
    logon::CertSummary summary;
    summary.fingerprint = "AB:CD";
    for (const auto& [kind, answer, confirmed] : {std::tuple{"certificate", "confirm", true},
                                                  {"certificate", "yes", false},
                                                  {"certificate", "no", false},
                                                  {"yes-no", "yes", false}}) {
        ScriptedHost host;
        host.AddAnswer(kind, answer);
        EXPECT_EQ(ConfirmCertificate(host, "bob@example.org", summary), confirmed) << kind << "=" << answer;
        ASSERT_EQ(host.Dialogs().size(), 1u);
        EXPECT_NE(host.Dialogs()[0].lines.back().find("AB:CD"), std::string::npos);
    }
    CertConfirmation question("bob", summary);
    EXPECT_EQ(question.Press(question.DefaultButton()), CertConfirmation::kIdRefuse);
}

#ifdef VARNEX_DIRECTORY
// A person of the organisation's directory, found by the chooser's search, receives an envelope
// once their certificate is confirmed in its dialog and opens it in their own suite; refused,
// nothing is made or kept. A share granted to a directory group is encrypted for its members
// once the new member's certificate is confirmed, and not at all when it is refused. A
// directory that cannot be reached is said once, and the store's people can still be chosen.
TEST(DesktopActions, DirectoryPersonFoundInTheChooserReceivesAnEnvelopeOnceConfirmed) {
    DirectoryServer server;
    ASSERT_TRUE(server.Running());
    TestLogon bob, dan;
    for (auto [suite, id, cn] : {std::tuple{&bob, "bob", "Bob Builder"}, {&dan, "dan", "Dan"}}) {
        ASSERT_NE(suite->AddUser(id, id, std::string(id) + "@example.org", std::string("pw-") + id), 0);
        std::string der;
        ASSERT_TRUE(suite->ExportCert(id, der, true));
        ASSERT_TRUE(server.AddPerson(id, cn, std::string(id) + "@example.org", {{der.begin(), der.end()}}));
    }
    ASSERT_TRUE(server.AddGroup("crew", {"bob", "dan"}));
    TestLogon store;
    for (const std::string id : {"alice", "carol"})
        ASSERT_NE(store.AddUser(id, id, id + "@example.org", "pw-" + id), 0);
    ASSERT_TRUE(
        store.SetOptions("Directory", {{"URI", server.Uri()}, {"Base", DirectoryServer::kBase}, {"TimeLimit", "2"}}));
    TempDir dir;
    const std::string a = dir / "a.txt";
    WriteFile(a, "the plan");
    ActionRun run;
    run.home = store.Home();
    run.search = "builder";
    ChooseLogonUser("alice");

    EXPECT_EQ(run.Run("envelope", {a}, {"bob"}, QMessageBox::No), -1);
    EXPECT_EQ(run.said, std::vector<std::string>{"certificate"});
    EXPECT_FALSE(fs::exists(a + ".vrk"));
    EXPECT_EQ(store.RecipientState("bob"), kCertUnknown);

    run.confirm = true;
    EXPECT_EQ(run.Run("envelope", {a}, {"bob"}, QMessageBox::No), 1);
    ASSERT_FALSE(run.said.empty());
    EXPECT_EQ(run.said.front(), "certificate");
    EXPECT_EQ(store.RecipientState("bob"), kCertConfirmed);
    // What the reader finds in the package, opened in a suite of their own.
    auto opened = [&](TestLogon& suite, const std::string& id, const std::string& package, const std::string& file) {
        EXPECT_TRUE(suite.LogOn(id, "pw-" + id));
        ScriptedHost quiet;
        ScopedUiHost installedHost(quiet);
        ScopedLogonLibrary installedLogon(&suite);
        quiet.AddAnswer("yes-no", "yes");  // alice's certificate is not in their store: keep the files
        fs::create_directories(dir / id);
        CKorvane engine;
        engine.m_presetOutFolder = dir / id;
        engine.EnvelopDecryptFiles(package.c_str(), nullptr, 0, 0);
        suite.LogOff();
        return ReadFile(dir / (id + "/" + file));
    };
    EXPECT_EQ(opened(bob, "bob", a + ".vrk", "a.txt"), "the plan");

    const std::string shared = dir / "shared", s = shared + "/s.txt";
    fs::create_directories(shared);
    WriteFile(s, "the plan");
    ASSERT_TRUE(store.GrantShare(CommonBaseFolder({s}), {{kDecryptManDirectoryGroup, 0, "crew"}}));
    run.search.clear();
    for (const bool confirm : {false, true}) {
        run.confirm = confirm;
        EXPECT_EQ(run.Run("share", {s}, {}, QMessageBox::No), confirm ? 1 : -1);
        ASSERT_FALSE(run.said.empty());
        EXPECT_EQ(run.said.front(), "certificate");  // dan's; bob's is confirmed already
        EXPECT_EQ(run.said.size(), confirm ? 2u : 1u);
        if (!confirm) {
            EXPECT_EQ(ReadFile(s), "the plan");
        }
    }
    std::string package;
    for (const auto& entry : fs::directory_iterator(shared)) package = entry.path();
    ASSERT_EQ(fs::path(package).extension(), ".vrk");
    EXPECT_EQ(opened(bob, "bob", package, "s.txt"), "the plan");
    EXPECT_EQ(opened(dan, "dan", package, "s.txt"), "the plan");

    server.Stop();
    run.search.clear();
    EXPECT_EQ(run.Run("envelope", {a}, {"carol"}, QMessageBox::No), 1);
    const std::string failed =
        MessageText(msg::desktop::SourceFailed, MessageText(msg::desktop::DirectorySource, server.Uri()), "");
    EXPECT_EQ(std::count_if(run.said.begin(), run.said.end(),
                            [&](const std::string& text) { return text.rfind(failed, 0) == 0; }),
              1);
    EXPECT_TRUE(fs::exists(a + " (2).vrk"));
    ChooseLogonUser({});
}
#endif
