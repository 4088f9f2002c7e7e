// varnex info: the security information of secured files, as the security page shows it.

#include <cstdio>

#include "Cli.h"
#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "JsonText.h"
#include "Session.h"
#include "engine/Korvane.h"
#include "platform/PrintableText.h"
#include "shell/SecurityPage.h"

namespace {

std::string InfoJson(const std::string& path, const FileSecurity& info) {
    JsonObject o;
    o.Text("file", path).Bool("readable", info.result == 1);
    if (info.result == 1) {
        o.Number("kind", static_cast<unsigned char>(info.kind)).Text("name", info.nameText);
        switch (static_cast<uint8_t>(info.kind)) {
            case kKindEnvelope:
            case kKindShared: {
                std::vector<std::string> recipients;
                for (int i = 0; i < info.recipientCount && i < static_cast<int>(kMaxSecureInfoRecipients); ++i)
                    recipients.push_back(info.kind == kKindEnvelope
                                             ? info.recipients[static_cast<size_t>(i)].recipientText
                                             : info.recipients[static_cast<size_t>(i)].keyText);
                // As the package states it: only a signature check (decrypt --test) proves a sender.
                o.Text("sender", info.sender->identity)
                    .Text("signature", info.bareDigest ? "bare digest" : "signature")
                    .Number("recipientCount", info.recipientCount)
                    .Texts("recipients", recipients);
                break;
            }
            case kKindSignUser:
            case kKindSignMail:
                o.Text("signer", info.signInfo->signerName)
                    .Text("userId", info.signInfo->userId)
                    .Text("signedFile", info.signInfo->fileName)
                    .Text("signTime", info.signInfo->signTime)
                    .Text("modifyTime", info.signInfo->modifyTime)
                    .Number("size", info.signInfo->fileSize);
                break;
            default:
                break;
        }
    }
    // info reads what a file states and checks no signature: nothing it shows is proven.
    return AddProof(o, SignerProof{}).Texts("lines", SecurityPageLines(info)).Str();
}

int RunInfo(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("info");
    ArgParser parsed(args, {"--json"}, {});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (parsed.Positionals().empty()) return UsageError(self, MessageText(msg::cli::NoFileToDescribe));
    CliSession session(cli);
    if (!session.Open()) return kExitFailed;
    CKorvane engine;
    bool json = parsed.Has("--json");
    bool allRead = true;
    std::vector<std::string> documents;
    for (const std::string& path : parsed.Positionals()) {
        // A name that is no regular file is said once, on standard error, with its reason.
        const bool regular = RegularFileOrSay(path);
        FileSecurity info = regular ? ReadFileSecurity(engine, path) : FileSecurity{};
        allRead = allRead && info.result == 1;
        if (!regular && !json) continue;
        if (json) {
            documents.push_back(InfoJson(path, info));
            continue;
        }
        if (parsed.Positionals().size() > 1) std::printf("%s:\n", EscapeText(path).c_str());
        for (const std::string& line : SecurityPageLines(info)) std::printf("%s\n", EscapeText(line).c_str());
    }
    if (json) PrintJsonArray(documents);
    return allRead ? kExitOk : kExitFailed;
}

}  // namespace

VARNEX_COMMAND("info", "[--json] FILE...", msg::cli_help::Info, RunInfo, msg::cli_help::InfoHelp);
