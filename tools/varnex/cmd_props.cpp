// varnex props: the property sheet of files, folders and drives, and attribute changes.

#include <cstdio>
#include <filesystem>
#include <string>

#include "Cli.h"
#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "JsonText.h"
#include "platform/PrintableText.h"
#include "shell/Messages.h"
#include "shell/PropertySheets.h"

namespace {

namespace fs = std::filesystem;

void PrintJson(const CPropertySheet& sheet) {
    std::printf("{\"title\":%s,\"pages\":[", JsonQuote(sheet.Title()).c_str());
    const char* pageSep = "";
    for (const auto& page : sheet.Pages()) {
        std::printf("%s{\"caption\":%s,\"template\":%d,\"lines\":[", pageSep, JsonQuote(page->Caption()).c_str(),
                    page->TemplateId());
        const char* sep = "";
        for (const SheetLine& line : page->Lines()) {
            std::printf("%s{\"label\":%s,\"value\":%s", sep, JsonQuote(line.label).c_str(),
                        JsonQuote(line.value).c_str());
            if (!line.extra.empty()) std::printf(",\"extra\":%s", JsonQuote(line.extra).c_str());
            std::printf("}");
            sep = ",";
        }
        std::printf("],\"attributes\":[");
        sep = "";
        for (const AttributeBox& box : page->Boxes()) {
            std::printf("%s{\"caption\":%s,\"letter\":\"%c\",\"checked\":%s,\"enabled\":%s}", sep,
                        JsonQuote(box.caption).c_str(), box.letter, box.checked ? "true" : "false",
                        box.enabled ? "true" : "false");
            sep = ",";
        }
        std::printf("]}");
        pageSep = ",";
    }
    std::printf("]}\n");
}

void PrintText(const CPropertySheet& sheet) {
    std::printf("%s\n", EscapeText(sheet.Title()).c_str());
    for (const std::string& line : sheet.Lines()) std::printf("  %s\n", EscapeText(line).c_str());
}

// Whether `words` (separated by blanks or commas) are each +r or -r, and there is one at least.
bool OnlyReadOnlyChanges(const std::string& words) {
    size_t count = 0, start = 0;
    while (start < words.size()) {
        const size_t end = words.find_first_of(" ,\t", start);
        const std::string word = words.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!word.empty() && word != "+r" && word != "-r") return false;
        count += !word.empty();
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return count > 0;
}

int RunProps(CliContext&, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("props");
    ArgParser parsed(args, {"--json"}, {"--set"});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (parsed.Positionals().empty()) return UsageError(self, MessageText(msg::cli::NothingNamed));
    // A change the sheet cannot make is a slip of the command line, whatever the paths are.
    if (!parsed.Value("--set").empty() && !OnlyReadOnlyChanges(parsed.Value("--set")))
        return UsageError(self, MessageText(msg::cli::SetTakes));

    std::string list;
    for (const std::string& p : parsed.Positionals()) {
        std::error_code ec;
        if (!fs::exists(p, ec)) {
            std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(p).c_str(),
                         MessageText(msg::shell::FileMissing).c_str());
            return kExitFailed;
        }
        std::string path = fs::absolute(p).lexically_normal().string();
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        list += path + '\0';
    }
    list += '\0';

    int result = 1;
    if (!parsed.Value("--set").empty()) {
        std::unique_ptr<CPropertySheet> sheet = MakeSelectionSheet(list.c_str());
        if (!sheet->ChangeAttributes(parsed.Value("--set"))) return UsageError(self, MessageText(msg::cli::SetTakes));
        result = sheet->ApplyPages();
    }
    // The sheet as it reads now, after any change.
    std::unique_ptr<CPropertySheet> sheet = MakeSelectionSheet(list.c_str());
    if (parsed.Has("--json"))
        PrintJson(*sheet);
    else
        PrintText(*sheet);
    return ExitForResult(result);
}

}  // namespace

VARNEX_COMMAND("props", "[--json] [--set +r|-r] PATH...", msg::cli_help::Props, RunProps, msg::cli_help::PropsHelp);
