// varnex-desktop: the file-manager actions with real windows. The action runs on a worker
// thread; its questions, reports and progress come to this thread through the Qt host.
//
//     varnex-desktop [--home DIR] [--user ID] [ACTION [--] FILE...]
//
// Without an action, a small window lists the actions; files dropped on one run it.

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ActionRunner.h"
#include "Actions.h"
#include "LogonEntry.h"
#include "MainWindow.h"
#include "Messages.h"
#include "QtUiHost.h"

namespace {

enum { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitStopped = 3 };

std::string SuiteFolder(const std::string& option) {
    if (!option.empty()) return option;
    if (const char* env = std::getenv("VARNEX_HOME"); env && *env) return env;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.varnex";
}

int Usage(FILE* out, int exit) {
    std::fprintf(out, "%s\n", MessageText(msg::desktop::Usage).c_str());
    return exit;
}

}  // namespace

int main(int argc, char** argv) {
    std::string home, user, action;
    std::vector<std::string> files;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnd && arg == "--help") return Usage(stdout, kExitOk);
        if (!optionsEnd && arg == "--home") {
            if (++i >= argc || !*argv[i]) return Usage(stderr, kExitUsage);
            home = argv[i];
        } else if (!optionsEnd && arg == "--user") {
            if (++i >= argc || !*argv[i]) return Usage(stderr, kExitUsage);
            user = argv[i];
        } else if (!optionsEnd && arg == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && arg.size() > 1 && arg[0] == '-') {
            return Usage(stderr, kExitUsage);
        } else if (action.empty()) {
            action = arg;
        } else {
            files.push_back(std::filesystem::absolute(arg).lexically_normal().string());
        }
    }
    if (action.empty() && !files.empty()) return Usage(stderr, kExitUsage);
    if (!action.empty() && FindAction(action) == nullptr) {
        std::fprintf(stderr, "varnex-desktop: %s\n", MessageText(msg::desktop::UnknownAction, action).c_str());
        return Usage(stderr, kExitUsage);
    }
    if (!action.empty() && files.empty()) {
        std::fprintf(stderr, "varnex-desktop: %s\n", MessageText(msg::desktop::NoFiles).c_str());
        return Usage(stderr, kExitUsage);
    }

    ChooseLogonUser(user);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Varnex"));
    // Dialogs come and go while the action runs: between two of them no window is open.
    QApplication::setQuitOnLastWindowClosed(false);
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    QtUiHost host;
    ActionRunner runner(host, SuiteFolder(home));
    std::unique_ptr<MainWindow> window;
    if (action.empty()) {
        // The window stays until closed; what it started runs to its end first.
        window = std::make_unique<MainWindow>(runner);
        host.SetParentWindow(window.get());
        window->show();
        QObject::connect(window.get(), &MainWindow::closed, &app, [&] {
            if (!runner.Busy()) QApplication::quit();
            QObject::connect(&runner, &ActionRunner::idle, &app, &QApplication::quit);
        });
    } else {
        QObject::connect(&runner, &ActionRunner::idle, &app, &QApplication::quit);
        runner.Enqueue(action, files);
    }
    QApplication::exec();
    // Quitting early (the session ends): every question still asked is cancelled and the loops
    // stop, so the running action ends soon; what it posts meanwhile is still delivered.
    runner.Finish();
    switch (runner.Result()) {
        case 1:
            return kExitOk;
        case -1:
            return kExitStopped;
        default:
            return kExitFailed;
    }
}
