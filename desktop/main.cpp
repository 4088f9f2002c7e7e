// varnex-desktop: the file-manager actions with real windows. The action runs on a worker
// thread; its questions, reports and progress come to this thread through the Qt host.
//
//     varnex-desktop [--home DIR] ACTION [--] FILE...

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Actions.h"
#include "EngineWorker.h"
#include "LogonEntry.h"
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
    if (action.empty()) return Usage(stderr, kExitUsage);
    const Action run = FindAction(action);
    if (run == nullptr) {
        std::fprintf(stderr, "varnex-desktop: %s\n", MessageText(msg::desktop::UnknownAction, action).c_str());
        return Usage(stderr, kExitUsage);
    }
    if (files.empty()) {
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
    EngineWorker worker(host, SuiteFolder(home), [&](CKorvane& engine, LogonStore& store) {
        ActionJob job{host, engine, store, files};
        return run(job);
    });
    QObject::connect(&worker, &QThread::finished, &app, &QApplication::quit);
    worker.start();
    QApplication::exec();
    // Quitting early (the session ends): every question the worker still asks is cancelled
    // and its loops stop, so it ends soon; what it posts meanwhile is still delivered.
    host.Shutdown();
    while (!worker.wait(20)) QApplication::processEvents();
    switch (worker.Result()) {
        case 1:
            return kExitOk;
        case -1:
            return kExitStopped;
        default:
            return kExitFailed;
    }
}
