// varnex sign: signature files (".idi") beside the files, kind 4; --for-mail makes kind 16;
// --mail also mails the signed files with their signature files.

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <tuple>

#include "Cli.h"
#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "Session.h"
#include "engine/Korvane.h"
#include "platform/PrintableText.h"
#include "platform/Window.h"

namespace {

// A signature file as it stands before and after the run, to tell which ones this run wrote:
// a new one is moved into place over the old, so its inode differs even within one clock tick.
struct Stamp {
    bool exists = false;
    ino_t inode = 0;
    timespec modified{0, 0};
};

Stamp StampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return {true, st.st_ino, st.st_mtim};
}

bool Written(const Stamp& before, const Stamp& now) {
    return now.exists &&
           (!before.exists || now.inode != before.inode || now.modified.tv_sec != before.modified.tv_sec ||
            now.modified.tv_nsec != before.modified.tv_nsec);
}

// Where a name's signature file goes: its folder (by device and inode) and its last component.
// "c.txt" and "./c.txt" are one place; two hard links of one file are two (each has its own
// signature file, naming it).
using Place = std::tuple<dev_t, ino_t, std::string>;

bool PlaceOf(const std::string& path, Place& place) {
    const std::filesystem::path name(path);
    const std::string folder = name.has_parent_path() ? name.parent_path().string() : ".";
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return false;
    place = {st.st_dev, st.st_ino, name.filename().string()};
    return true;
}

// The names to give the engine. Every other name is said here, once: the engine passes over a
// name that is no file without a word. A file named twice, in any spelling, is signed once.
std::vector<std::string> FilesToSign(const std::vector<std::string>& names, size_t& refused) {
    std::vector<std::string> files;
    std::set<Place> places;
    for (const std::string& name : names) {
        if (name == "-") {  // "./-" is a file of that name
            std::fprintf(stderr, "varnex: -: %s\n", MessageText(msg::cli::SignStandardInput).c_str());
            ++refused;
            continue;
        }
        if (!RegularFileOrSay(name)) {
            ++refused;
            continue;
        }
        Place place;
        if (PlaceOf(name, place) && !places.insert(place).second) continue;
        files.push_back(name);
    }
    return files;
}

int RunSign(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("sign");
    ArgParser parsed(args, {"--mail", "--for-mail"}, {});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (parsed.Positionals().empty()) return UsageError(self, MessageText(msg::cli::NoFileToSign));
    for (const std::string& p : parsed.Positionals()) {
        if (p.empty() || p.size() + 4 >= static_cast<size_t>(kMaxPath))
            return UsageError(self, MessageText(msg::cli::SignPathLength, p, kMaxPath - 5));
    }
    size_t failed = 0;
    const std::vector<std::string> files = FilesToSign(parsed.Positionals(), failed);
    if (files.empty()) return kExitFailed;
    std::string list;
    std::vector<Stamp> before;
    for (const std::string& file : files) {
        list += file + '\0';
        before.push_back(StampOf(file + ".idi"));
    }
    list += '\0';

    CliSession session(cli);
    // The key signs each file after its digest.
    if (!session.LogOn()) return kExitFailed;
    std::string userId;
    SecretText password;
    int type = 0;
    session.Store().GetLogonUser(userId, password, type);
    CKorvane engine;
    bool mail = parsed.Has("--mail");
    if (parsed.Has("--for-mail") && !mail)
        engine.SignFilesWithEmail(list.c_str(), userId.c_str(), password.c_str(), 0);
    else
        engine.SignFiles(list.c_str(), userId.c_str(), password.c_str(), 0, mail ? 1 : 0);

    // The files past the engine's limit were never looked at: named here, as nothing else says so.
    const size_t unreached = std::min(engine.m_unreachedCount, files.size());
    const size_t reached = files.size() - unreached;
    if (unreached > 0) {
        const size_t limit = CKorvane::kMaxSignedFiles;
        const std::string why = unreached == 1 ? MessageText(msg::cli::SignLimitOne, limit)
                                               : MessageText(msg::cli::SignLimitMany, unreached - 1, limit);
        std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(files[reached]).c_str(), why.c_str());
        ++failed;
    }
    // Mailed signature files were deleted once the message held them: nothing to list.
    if (mail) return failed == 0 && engine.m_signedCount == reached ? kExitOk : kExitFailed;
    for (size_t i = 0; i < reached; ++i) {
        std::string signature = files[i] + ".idi";
        if (Written(before[i], StampOf(signature)))
            std::printf("%s\n", signature.c_str());
        else
            ++failed;  // a replacement refused, or a failure the engine has shown
    }
    return failed == 0 ? kExitOk : kExitFailed;
}

}  // namespace

VARNEX_COMMAND("sign", "[--mail] [--for-mail] FILE...", msg::cli_help::Sign, RunSign, msg::cli_help::SignHelp);
