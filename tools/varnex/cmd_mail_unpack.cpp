// varnex mail-unpack: a mail package, from a file or from standard input ("-", read in memory),
// unpacked into the mail folder; lists the files written and the signer's verdict.

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "Cli.h"
#include "CliHelpMessages.h"
#include "CliMessages.h"
#include "JsonText.h"
#include "Session.h"
#include "mail/MailUnpackStep.h"
#include "platform/PrintableText.h"

namespace {

bool ReadStandardInput(std::vector<unsigned char>& bytes) {
    unsigned char block[65536];
    for (;;) {
        ssize_t n = ::read(STDIN_FILENO, block, sizeof block);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.insert(bytes.end(), block, block + n);
    }
}

// What became of the signature; null when the unpacking stopped before it.
const MessageDef* Verdict(const DECRYPT_MAIL_KEY& key, int result) {
    if (!(key.nMailFlag & kMailFlagSign)) return result == 1 ? &msg::cli::NotSigned : nullptr;
    switch (key.nVerify) {
        case 1:
            return &msg::cli::SignatureValid;
        case 0:
            return &msg::cli::SignatureNotValid;
        case -1:
            return &msg::cli::NoCertToCheck;
        default:
            return result == 1 ? &msg::cli::NotChecked : nullptr;
    }
}

int RunMailUnpack(CliContext& cli, const std::vector<std::string>& args) {
    const Command& self = *FindCommand("mail-unpack");
    ArgParser parsed(args, {"--json"}, {});
    if (!parsed.Ok()) return UsageError(self, parsed.Error());
    if (parsed.Positionals().size() != 1) return UsageError(self, MessageText(msg::cli::NameOnePackage));
    const std::string name = parsed.Positionals()[0];

    CFile file;
    CMemFile memory;
    CFile* pFile = nullptr;
    CMemFile* pMemFile = nullptr;
    if (name == "-") {
        std::vector<unsigned char> bytes;
        if (!ReadStandardInput(bytes)) return CliFail(MessageText(msg::cli::StandardInputFailed, std::strerror(errno)));
        memory.Attach(std::move(bytes));
        pMemFile = &memory;
    } else {
        CFileException error;
        if (!file.Open(name, CFile::modeRead | CFile::shareDenyNone, &error))
            return CliFail(name + ": " + error.ErrorText());
        pFile = &file;
    }

    CliSession session(cli);
    if (!session.LogOn()) return kExitFailed;
    CMailEncrypt engine;
    const UnpackedMail got = UnpackMailPackage(engine, pFile, pMemFile);
    if (got.outOfMemory) return CliFail(MessageText(msg::cli::NotEnoughMemoryFiles, name));
    const DECRYPT_MAIL_KEY& key = *got.key;
    const int result = got.result;

    const std::string damaged = key.szDamagedFile;
    const bool json = parsed.Has("--json");
    if (json) std::printf("{\"result\": %d, \"files\": [", result);
    for (size_t i = 0; i < got.files.size(); ++i) {
        const std::string& path = got.files[i];
        const bool bad = path == damaged;
        if (json)
            std::printf("%s{\"path\": %s, \"damaged\": %s}", i ? ", " : "", JsonQuote(path).c_str(),
                        bad ? "true" : "false");
        else
            std::printf("%s%s\n", EscapeText(path).c_str(), bad ? MessageText(msg::cli::DamagedMark).c_str() : "");
    }
    const MessageDef* verdict = Verdict(key, result);
    // A valid signature names its signer by the certificate that checked it; otherwise the signer
    // is only what the package states.
    const SignerProof proof = key.nVerify == 1 ? engine.SignerProved() : SignerProof{};
    const std::string signer = proof.Proven() ? proof.KeyText() : std::string(key.szSigner);
    if (json) {
        JsonObject tail;
        AddProof(tail.Text("signer", signer), proof);
        std::printf("], \"signature\": %s, %s\n", verdict ? JsonQuote(verdict->text).c_str() : "null",
                    tail.Str().substr(1).c_str());
    } else if (!cli.options.quiet && verdict != nullptr) {
        if (key.nMailFlag & kMailFlagSign)
            std::printf("%s\n", MessageText(msg::cli::SignedBy, EscapeText(signer), MessageText(*verdict)).c_str());
        else
            std::printf("%s\n", MessageText(*verdict).c_str());
    }
    // A signed mail whose signature could not be checked is not a verified one.
    if (result == 1 && (key.nMailFlag & kMailFlagSign) && key.nVerify == -1) return kExitFailed;
    return ExitForResult(result);
}

}  // namespace

VARNEX_COMMAND("mail-unpack", "[--json] PACKAGE|-", msg::cli_help::MailUnpack, RunMailUnpack,
               msg::cli_help::MailUnpackHelp);
