// varnex wipe: secure deletion of files and folder trees, with the delete log.

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "Session.h"
#include "engine/Korvane.h"
#include "wipe/DeleteLog.h"

namespace {

int RunWipe(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("wipe");
    ArgParser parsed(args, {"--zero"}, {});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (parsed.Positionals().empty()) return UsageError(self, "nothing to wipe");

    // Devices, FIFOs and sockets are refused by name; a missing path is passed over, as the
    // engine does, with a notice.
    std::string list;
    size_t named = 0;
    bool refused = false;
    for (const std::string& p : parsed.Positionals()) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0) {
            if (!cli.options.quiet)
                std::fprintf(stderr, "varnex: %s: no such file or folder (passed over)\n", p.c_str());
            continue;
        }
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "varnex: %s: not a file, folder or link (left alone)\n", p.c_str());
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
    int result = parsed.Has("--zero") ? engine.DelFileOrDir(list.data(), 0) : engine.TrueDelFileOrDir(list.data(), 0);
    if (result != 1)
        std::fprintf(stderr, "varnex: not everything was deleted; see %s\n", DeleteLogPath().c_str());
    else if (!cli.options.quiet && named > 0)
        std::fprintf(stderr, "varnex: %zu path%s wiped\n", named, named == 1 ? "" : "s");
    return ExitForResult(refused ? 0 : result);
}

}  // namespace

VARNEX_COMMAND("wipe", "[--zero] PATH...", "delete files and folder trees beyond recovery", RunWipe,
               "Each file is overwritten with random bytes and flushed to the disk before it is removed;\n"
               "links are removed, never followed; what stays is listed in the delete log LumoLog.txt.\n\n"
               "  --zero  overwrite only each file's first 10,240 bytes, with zeros\n");
