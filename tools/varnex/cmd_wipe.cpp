// varnex wipe: secure deletion of files and folder trees, with the delete log.

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "Session.h"
#include "engine/Korvane.h"
#include "platform/AtomicFile.h"
#include "platform/PrintableText.h"
#include "wipe/DeleteLog.h"

namespace {

int RunWipe(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("wipe");
    ArgParser parsed(args, {"--zero"}, {});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (parsed.Positionals().empty()) return UsageError(self, MessageText(msg::cli::NothingToWipe));

    // Devices, FIFOs and sockets are refused by name, and so are "." and ".." (DIR/. names DIR's
    // target when DIR is a link), as rm refuses them; a missing path is named and fails the
    // command. The others are wiped all the same.
    std::string list;
    size_t named = 0;
    bool refused = false;
    for (const std::string& p : parsed.Positionals()) {
        std::string bare = p;
        while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
        const std::string last = bare.substr(bare.find_last_of('/') + 1);
        if (last == "." || last == "..") {
            std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(p).c_str(), MessageText(msg::cli::RefuseDots).c_str());
            refused = true;
            continue;
        }
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0) {
            std::string why = errno != ENOENT ? std::strerror(errno) : MessageText(msg::cli::NoSuchFileOrFolder);
            // A wipe or a write killed halfway leaves the file's bytes under a temporary name
            // beside it: named here, so that a second wipe of the same name does not pass them
            // over as already gone.
            if (errno == ENOENT)
                if (const std::vector<std::string> left = TempFilesFor(bare); !left.empty())
                    why = MessageText(msg::cli::OnlyTempFileLeft, EscapeText(left.front()));
            std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(p).c_str(), why.c_str());
            refused = true;
            continue;
        }
        // The root folder, by whatever name, as rm refuses it: one stray "/" would wipe the system.
        if (S_ISDIR(st.st_mode)) {
            std::unique_ptr<char, decltype(&std::free)> real(::realpath(p.c_str(), nullptr), &std::free);
            if (real && std::strcmp(real.get(), "/") == 0) {
                std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(p).c_str(),
                             MessageText(msg::cli::RefuseRoot).c_str());
                refused = true;
                continue;
            }
        }
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(p).c_str(),
                         MessageText(msg::cli::NotFileFolderLink).c_str());
            refused = true;
            continue;
        }
        list += p;
        list += '\0';
        ++named;
    }
    list += '\0';

    CliSession session(cli);  // the suite folder holds the temporary folder of the delete log
    if (!session.Open()) return kExitFailed;
    CKorvane engine;
    // Each entry the wipe cannot remove is named with its reason as it is met (the delete log
    // keeps them too); with --verbose, each one removed is named.
    engine.m_wipeObserver = [&cli](const std::string& path, const std::string& reason) {
        if (!reason.empty())
            std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(path).c_str(), reason.c_str());
        else if (cli.options.verbose)
            std::fprintf(stderr, "%s\n", EscapeText(path).c_str());
    };
    int result = parsed.Has("--zero") ? engine.DelFileOrDir(list.data(), 0) : engine.TrueDelFileOrDir(list.data(), 0);
    if (result != 1)
        std::fprintf(stderr, "varnex: %s\n", MessageText(msg::cli::NotAllDeleted, DeleteLogPath()).c_str());
    else if (!cli.options.quiet && named > 0)
        std::fprintf(stderr, "varnex: %s\n",
                     MessageText(named == 1 ? msg::cli::WipedOne : msg::cli::WipedMany, named).c_str());
    return ExitForResult(refused ? 0 : result);
}

}  // namespace

VARNEX_COMMAND("wipe", "[--zero] PATH...", msg::cli_help::Wipe, RunWipe, msg::cli_help::WipeHelp);
