// varnex verify: checks signature files against their files and prints each report.

#include <cstdio>
#include <filesystem>
#include <memory>

#include "Cli.h"
#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "JsonText.h"
#include "Session.h"
#include "dialogs/VerifyDialog.h"
#include "engine/Korvane.h"
#include "logon/ILogon.h"
#include "platform/PrintableText.h"
#include "platform/Text.h"
#include "shell/SecurityPage.h"

namespace {

constexpr std::string_view kSignatureSuffix = ".idi";

// Passes everything to the run's host but the signature report, which it keeps for printing.
class ReportKeeper : public IUiHost {
public:
    explicit ReportKeeper(IUiHost& inner) : m_inner(inner) {}
    int MessageBox(const std::string& text, unsigned type) override {
        ++m_said;
        return m_inner.MessageBox(text, type);
    }
    int NamedMessageBox(std::string_view id, const std::string& text, unsigned type) override {
        ++m_said;
        return m_inner.NamedMessageBox(id, text, type);
    }
    int RunDialog(DialogModel& dialog) override {
        auto* report = dynamic_cast<CDlgVerify*>(&dialog);
        if (report == nullptr) return m_inner.RunDialog(dialog);
        m_report = std::make_unique<CDlgVerify>(*report);
        return report->Press(1);
    }
    std::unique_ptr<IProgressView> CreateProgressView(const std::string& title, const std::string& text) override {
        return m_inner.CreateProgressView(title, text);
    }
    void PumpEvents() override { m_inner.PumpEvents(); }

    std::unique_ptr<CDlgVerify> Take() { return std::move(m_report); }
    // How many messages the engine has shown so far.
    int Said() const { return m_said; }

private:
    IUiHost& m_inner;
    std::unique_ptr<CDlgVerify> m_report;
    int m_said = 0;
};

// The installed certificate's confirmation, as scripts read it.
const char* CertStateWord(int state) {
    switch (state) {
        case kCertConfirmed:
            return "confirmed";
        case kCertModified:
            return "changed since confirmed";
        case kCertNeverConfirmed:
            return "not confirmed";
        default:
            return "unknown";
    }
}

// A correct signature proves only that whoever holds the certificate signed: one whose
// certificate nobody confirmed is said so beside the report, and one whose certificate changed
// since it was confirmed (another certificate installed under the confirmed one's name) fails.
bool TrustOrSay(const std::string& path, const CDlgVerify& report) {
    const VerifyRecord& r = report.Record();
    if (report.Verdict() != 1 || !r.proof.Proven() || r.certState == kCertConfirmed) return true;
    std::fprintf(
        stderr, "varnex: %s: %s\n", EscapeText(path).c_str(),
        MessageText(r.certState == kCertModified ? msg::cli::SignerCertChanged : msg::cli::SignerNotConfirmed).c_str());
    return r.certState != kCertModified;
}

bool EndsWithSuffix(const std::string& path) {
    return path.size() >= kSignatureSuffix.size() &&
           EqualNoCase(std::string_view(path).substr(path.size() - kSignatureSuffix.size()), kSignatureSuffix);
}

// A correct signature of one file under the name of the signature of another file beside it
// ("contract.pdf.idi" holding the signature of "invoice.pdf") would pass as the other file's:
// said, and the signature counts as not correct for what was named.
bool SignsTheFileItNamesOrSay(const std::string& path, const CDlgVerify& report) {
    if (report.Verdict() != 1 || !EndsWithSuffix(path)) return true;
    const std::string named = path.substr(0, path.size() - kSignatureSuffix.size());
    std::error_code ec;
    if (!std::filesystem::is_regular_file(named, ec)) return true;
    const std::string& signedFile = report.Record().filePath;
    if (std::filesystem::equivalent(named, signedFile, ec) || ec) return true;
    std::fprintf(
        stderr, "varnex: %s\n",
        MessageText(msg::cli::SignatureOfAnother, EscapeText(path), EscapeText(signedFile), EscapeText(named)).c_str());
    return false;
}

std::string ReportJson(const std::string& path, int result, const CDlgVerify* report, char kind) {
    JsonObject o;
    o.Text("file", path).Number("result", result);
    if (report == nullptr) return AddProof(o.Bool("correct", false), SignerProof{}).Str();
    const VerifyRecord& r = report->Record();
    o.Number("kind", static_cast<unsigned char>(kind)).Bool("correct", report->Verdict() == 1);
    AddProof(o, report->Verdict() == 1 ? r.proof : SignerProof{});
    if (report->Verdict() == 1 && r.proof.Proven()) o.Text("certificateState", CertStateWord(r.certState));
    o.Text("verdict", report->ResultLine()).Text("signer", r.signerName);
    // The user ID is no part of what the signature covers. A mail signature's may name nobody
    // here (it is the signer's ID in their own suite), so in a proven report it stands as
    // "userId" only when it names the certificate that checked the signature; otherwise it is
    // only what the file states.
    const bool proven = report->Verdict() == 1 && r.proof.Proven();
    ILogon* logon = LogonLibrary();
    const bool idProven = proven && logon != nullptr && TextNamesProvenSigner(*logon, r.userId, kind, r.proof);
    o.Text(proven && !idProven ? "statedUserId" : "userId", r.userId)
        .Text("signedFile", r.filePath)
        .Text("signTime", r.signTime)
        .Text("modifyTime", r.modifyTime)
        .Number("size", r.size)
        .Texts("report", report->Lines());
    return o.Str();
}

int RunVerify(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("verify");
    ArgParser parsed(args, {"--json"}, {});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (parsed.Positionals().empty()) return UsageError(self, MessageText(msg::cli::NoSignatureFile));
    CliSession session(cli);
    if (!session.Open()) return kExitFailed;

    ReportKeeper keeper(UiHost());
    ScopedUiHost installed(keeper);
    CKorvane engine;
    bool json = parsed.Has("--json");
    bool allCorrect = true;
    std::vector<std::string> documents;
    for (const std::string& path : parsed.Positionals()) {
        auto refused = [&] {
            allCorrect = false;
            if (json) documents.push_back(ReportJson(path, 0, nullptr, 0));
        };
        // A name that is no file is said so here: the engine answers it with no reason.
        if (!RegularFileOrSay(path)) {
            refused();
            continue;
        }
        // The signed file named in place of its signature beside it: said so, not read as a
        // damaged signature file.
        const std::string signature = path + std::string(kSignatureSuffix);
        std::error_code ec;
        if (!EndsWithSuffix(path) && std::filesystem::is_regular_file(signature, ec)) {
            std::fprintf(stderr, "varnex: %s\n",
                         MessageText(msg::cli::SignedNotSignature, EscapeText(path), EscapeText(signature)).c_str());
            refused();
            continue;
        }
        cli.host->SetSubject(path);  // messages name the signature file they are about
        const int saidBefore = keeper.Said();
        int result = engine.Verify_One_File(path.c_str());
        cli.host->SetSubject({});
        std::unique_ptr<CDlgVerify> report = keeper.Take();
        allCorrect = allCorrect && result == 1 && report && report->Verdict() == 1;
        if (report) allCorrect = TrustOrSay(path, *report) && SignsTheFileItNamesOrSay(path, *report) && allCorrect;
        if (json) {
            char kind = report ? ReadFileSecurity(engine, path).kind : 0;
            documents.push_back(ReportJson(path, result, report.get(), kind));
        } else if (report) {
            if (parsed.Positionals().size() > 1) std::printf("%s:\n", EscapeText(path).c_str());
            for (const std::string& line : report->Lines()) std::printf("%s\n", EscapeText(line).c_str());
        } else if (keeper.Said() == saidBefore) {  // the engine's own reason is the one message
            std::fprintf(stderr, "varnex: %s: %s\n", EscapeText(path).c_str(),
                         MessageText(msg::cli::NotVerified).c_str());
        }
    }
    if (json) PrintJsonArray(documents);
    return allCorrect ? kExitOk : kExitFailed;
}

}  // namespace

VARNEX_COMMAND("verify", "[--json] FILE.idi...", msg::cli_help::Verify, RunVerify, msg::cli_help::VerifyHelp);
