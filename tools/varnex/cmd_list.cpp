// varnex list: the folders and files a package holds, read without its password.

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Cli.h"
#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "JsonText.h"
#include "Session.h"
#include "StandardStreams.h"
#include "engine/Korvane.h"
#include "password/PackageListing.h"
#include "platform/FileStatus.h"
#include "platform/PrintableText.h"

namespace {

// "20030105090703" -> "2003-01-05 09:07:03"; anything else as it stands.
std::string ShownTime(const std::string& t, char between) {
    if (t.size() != 14) return t;
    return t.substr(0, 4) + "-" + t.substr(4, 2) + "-" + t.substr(6, 2) + between + t.substr(8, 2) + ":" +
           t.substr(10, 2) + ":" + t.substr(12, 2);
}

void PrintText(const std::string& package, const std::vector<PackageEntry>& entries, bool named) {
    if (named) std::printf("%s:\n", EscapeText(package).c_str());
    for (const PackageEntry& e : entries) {
        if (e.folder)
            std::printf("%12s  %-19s  %s\n", "-", "-", EscapeText(e.path).c_str());
        else
            std::printf("%12lld  %-19s  %s%s\n", static_cast<long long>(e.size), ShownTime(e.modified, ' ').c_str(),
                        EscapeText(e.path).c_str(),
                        (e.attributes & kAttrReadOnly) ? MessageText(msg::cli::ReadOnlyMark).c_str() : "");
    }
}

void PrintJson(const std::string& package, const std::vector<PackageEntry>& entries, bool first) {
    std::printf("%s\n  {\"package\": %s, \"entries\": [", first ? "" : ",", JsonQuote(package).c_str());
    for (size_t i = 0; i < entries.size(); ++i) {
        const PackageEntry& e = entries[i];
        std::printf("%s\n    {\"type\": \"%s\", \"path\": %s", i ? "," : "", e.folder ? "folder" : "file",
                    JsonQuote(e.path).c_str());
        if (!e.folder)
            std::printf(", \"size\": %lld, \"modified\": %s, \"readOnly\": %s", static_cast<long long>(e.size),
                        JsonQuote(ShownTime(e.modified, 'T')).c_str(),
                        (e.attributes & kAttrReadOnly) ? "true" : "false");
        std::printf("}");
    }
    std::printf("%s]}", entries.empty() ? "" : "\n  ");
}

int RunList(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("list");
    ArgParser parsed(args, {"--json"}, {});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (parsed.Positionals().empty()) return UsageError(self, MessageText(msg::cli::NoPackageToList));
    bool json = parsed.Has("--json");
    const auto& packages = parsed.Positionals();

    // "-" is a package read from standard input, held in a file of the user's own meanwhile.
    if (std::count(packages.begin(), packages.end(), "-") > 1)
        return UsageError(self, MessageText(msg::cli::StdinNamedTwice));
    CliSession session(cli);  // the user's temporary folder is the suite folder's
    StdinPackage input;
    if (std::count(packages.begin(), packages.end(), "-") && (!session.Open() || !input.Take())) return kExitFailed;

    CKorvane engine;
    int failed = 0;
    bool first = true;
    if (json) std::printf("{\"packages\": [");
    for (const std::string& package : packages) {
        cli.host->SetSubject(package);
        std::vector<PackageEntry> entries;
        if (!ListPackage(engine, package == "-" ? input.Path() : package, entries)) {
            ++failed;
            continue;
        }
        if (json)
            PrintJson(package, entries, first);
        else
            PrintText(package, entries, packages.size() > 1);
        first = false;
    }
    cli.host->SetSubject({});
    if (json) std::printf("%s]}\n", first ? "" : "\n");
    return failed == 0 ? kExitOk : kExitFailed;
}

}  // namespace

VARNEX_COMMAND("list", "[--json] PACKAGE...", msg::cli_help::List, RunList, msg::cli_help::ListHelp);
