// varnex info: the security information of secured files, as the security page shows it.

#include <cstdio>

#include "Cli.h"
#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "JsonText.h"
#include "Session.h"
#include "engine/Korvane.h"
#include "platform/PrintableText.h"
#include "shell/Messages.h"
#include "shell/SecurityPage.h"

namespace {

// Passes everything to the run's host, counting the messages the engine shows.
class MessageCounter : public IUiHost {
public:
    explicit MessageCounter(IUiHost& inner) : m_inner(inner) {}
    int MessageBox(const std::string& text, unsigned type) override {
        ++m_said;
        return m_inner.MessageBox(text, type);
    }
    int NamedMessageBox(std::string_view id, const std::string& text, unsigned type) override {
        ++m_said;
        return m_inner.NamedMessageBox(id, text, type);
    }
    int RunDialog(DialogModel& dialog) override { return m_inner.RunDialog(dialog); }
    std::unique_ptr<IProgressView> CreateProgressView(const std::string& title, const std::string& text) override {
        return m_inner.CreateProgressView(title, text);
    }
    void PumpEvents() override { m_inner.PumpEvents(); }
    int Said() const { return m_said; }

private:
    IUiHost& m_inner;
    int m_said = 0;
};

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
    MessageCounter counter(UiHost());
    ScopedUiHost installed(counter);
    CKorvane engine;
    bool json = parsed.Has("--json");
    bool allRead = true;
    std::vector<std::string> documents;
    for (const std::string& path : parsed.Positionals()) {
        // A name that is no regular file is said once, on standard error, with its reason.
        const bool regular = RegularFileOrSay(path);
        const int saidBefore = counter.Said();
        cli.host->SetSubject(path);  // the engine's messages name the file they are about
        FileSecurity info = regular ? ReadFileSecurity(engine, path) : FileSecurity{};
        cli.host->SetSubject({});
        allRead = allRead && info.result == 1;
        // A file whose security information cannot be read (not secured, damaged, cut short) is
        // said once, by name, on standard error, unless the engine has already said why.
        if (regular && info.result != 1 && counter.Said() == saidBefore)
            std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(path).c_str(),
                         MessageText(msg::shell::CannotReadSecurity).c_str());
        if (!json && info.result != 1) continue;
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
