// Restoring an envelope package: head, sender record, the reader's own recipient record among
// all of them, the unwrapped session key, the output folder, then every folder and file with the
// sender's signature verified over all plaintext.

#include <cstring>
#include <memory>
#include <vector>

#include "engine/Identifiers.h"
#include "engine/Korvane.h"
#include "engine/SignerProof.h"
#include "envelope/Messages.h"
#include "formats/EnvelopeRecords.h"
#include "formats/Messages.h"
#include "formats/PackagePaths.h"
#include "formats/PackageRecords.h"
#include "logon/ILogon.h"
#include "package/Messages.h"
#include "package/ProgressReport.h"
#include "package/RestorePass.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/PathInfo.h"
#include "platform/UiHost.h"

namespace {

// What the reader knows of itself: the logon user and the private-key index information.
struct Reader {
    std::string userId;
    SecretText password;
    std::string indexName;  // the user name GetPrivateKeyIndex answers
    std::string indexKey;   // the certificate name of the index information
};

bool Matches(ILogon& logon, const EncryptFlag& head, const Decrypt_Info& record, const Reader& reader) {
    if (head.kind == kKindShared)
        return LogonEqualNoCase(logon.MapRecipientKeyText(record.keyText, 1), reader.indexKey);
    std::string_view text(record.recipientText);
    return LogonEqualNoCase(text.substr(0, text.find('\n')), reader.indexName);
}

// Unwraps the session key and IV of the reader's own record into key. Both must have exactly
// the lengths of the head's cipher: a shorter key would leave the rest of the cipher's key as
// zeros and restore garbage before the signature could tell. A key device that failed has said
// why itself, and nothing more is said here.
int Unwrap(ILogon& logon, const EncryptFlag& head, const Decrypt_Info& record, const std::string& keyText,
           const Reader& reader, ContentKey& key) {
    SecretBytes out(kLogonWrapOutRoom);
    auto unwrap = [&](int length, const unsigned char* wrapped) {
        return logon.UnwrapSessionKey(length, wrapped, out.data(), reader.indexName, keyText, head.kind,
                                      reader.password.c_str(), static_cast<int>(reader.password.size()));
    };
    const int keyLength = CipherKeyLength(head.cipherId), ivLength = CipherIvLength(head.cipherId);
    static_assert(sizeof key.key >= 20 && sizeof key.iv >= 8, "room for every cipher's key and IV");
    key.cipherId = head.cipherId;
    if (!IsVersion10(head)) {
        // The IV is the block's tail.
        int r = unwrap(record.wrappedLength, record.wrapped);
        if (r <= 0 || keyLength <= 0 || record.vectorLength != ivLength || r != keyLength + ivLength) {
            if (r != kLogonDeviceSaid) ShowMessage(msg::envelope::UnwrapFailed1003);
            return 0;
        }
        std::memcpy(key.key, out.data(), static_cast<size_t>(keyLength));
        std::memcpy(key.iv, out.data() + keyLength, static_cast<size_t>(ivLength));
        return 1;
    }
    int r = unwrap(record.wrappedLength, record.wrapped);
    if (r <= 0 || keyLength <= 0 || r != keyLength) {
        if (r != kLogonDeviceSaid) ShowMessage(msg::envelope::UnwrapFailed1001);
        return 0;
    }
    std::memcpy(key.key, out.data(), static_cast<size_t>(r));
    r = record.vectorLength > 0 ? unwrap(record.vectorLength, record.vector) : 0;
    if (r != ivLength) {
        if (r != kLogonDeviceSaid) ShowMessage(msg::envelope::UnwrapFailed1002);
        return 0;
    }
    std::memcpy(key.iv, out.data(), static_cast<size_t>(r));
    return 1;
}

// The folder a package that says it is the reader's own would go back to: the folder its files
// came from, as its head stores it (absolute, without "."/".." steps), or empty. Only a kind 2
// package whose sender text is the reader's user ID says so; what it says proves nothing yet.
std::string ClaimedOwnFolder(const EncryptFlag& head, const Verify_IndexInfo& sender, const Reader& reader) {
    std::string base(head.baseFolder, strnlen(head.baseFolder, sizeof head.baseFolder));
    bool own = LogonEqualNoCase(UserIdOfIdentity(sender.identity), reader.userId);
    if (head.kind != kKindEnvelope || !own || base.empty() || base[0] != kSep || !IsSafeStoredFolder(base.substr(1)))
        return {};
    return base;
}

bool SameFolder(const std::string& a, const std::string& b) { return SameTarget(a, b); }

struct Envelope {
    CKorvane& engine;
    char* baseFolder;
    char* workPath;
    HWND notifyWindow;
    int direct;
    int silent;

    int Decrypt(CFile& package, const std::string& packageFolder, ILogon& logon, Reader& reader) {
        EncryptFlag head;
        if (!engine.ReadEncryptedFileHead(&package, &head, msg::formats::HeadCrc1.text) ||
            !engine.CheckEncryptedFileHead(head, kEnvelopeHeadRules))
            return 0;
        const bool oldLayout = IsVersion10(head);
        auto sender = std::make_unique<Verify_IndexInfo>();
        if (!ReadSenderRecord(engine.Records(), &package, *sender)) return 0;
        Lumo_PrivateKey index;
        if (!logon.GetPrivateKeyIndex(index, reader.indexName)) {
            ShowMessage(msg::envelope::NoKeyIndex);
            return 0;
        }
        reader.indexKey = index.name;
        if (head.count < 0 || static_cast<size_t>(head.count) > kMaxRecipients) {
            ShowMessage(msg::formats::StructureError);
            return 0;
        }
        // Every record is read and checked, also behind the reader's own.
        auto record = std::make_unique<Decrypt_Info>();
        auto own = std::make_unique<Decrypt_Info>();
        bool found = false;
        for (int32_t i = 0; i < head.count; ++i) {
            if (!ReadRecipientRecord(engine.Records(), &package, oldLayout, *record)) return 0;
            if (!found && Matches(logon, head, *record, reader)) {
                *own = *record;
                found = true;
            }
        }
        if (!found) {
            if (silent)
                engine.m_batchSuccess = 0;
            else
                ShowMessage(msg::envelope::NotRecipient);
            return 0;
        }
        std::string keyText = head.kind == kKindShared ? logon.MapRecipientKeyText(own->keyText, 1) : own->keyText;
        ContentKey key;
        if (!Unwrap(logon, head, *own, keyText, reader, key)) return 0;

        RestorePlan plan;
        plan.key = &key;
        plan.itemCount = head.itemCount;
        plan.oldLayout = oldLayout;
        plan.digest = ContentStream::Digest::kVerify;
        plan.testOnly = engine.m_testOnly != 0;
        plan.holdUntilVerdict = true;
        RestorePass pass(engine, baseFolder, workPath, plan);
        size_t longestPath = 0;
        if (!pass.Scan(&package, &longestPath)) return 0;
        // Without a folder asked for, a package goes beside itself; only the reader's own goes
        // back to the folder its files came from, and only once its signature has proven it
        // the reader's own. A package never chooses where its files go.
        std::string fallback = packageFolder;
        bool proven = false;
        if (!plan.testOnly && (direct || silent) && !IsExistingFolder(engine.m_presetOutFolder)) {
            const std::string own = ClaimedOwnFolder(head, *sender, reader);
            if (!own.empty() && !SameFolder(own, packageFolder)) {
                if (!ProvenOwn(package, head, key, reader, &proven)) return 0;
                if (proven) fallback = own;
            }
        }
        std::string base;
        if (plan.testOnly)
            base = WithSeparator(packageFolder);  // where a restore goes unless told: the same checks
        else if (!PrepareOutputFolder(engine, packageFolder, fallback, direct, silent, base))
            return 0;
        // Every restored path must fit where the walkers keep paths.
        if (base.size() + longestPath >= kMaxPath) {
            ShowMessage(msg::formats::StructureError);
            return 0;
        }
        OutputQuery query(plan.testOnly ? nullptr : &logon, base);

        // A proven package is checked against the reader's own certificate again: the files
        // read now are the ones that go to its folder.
        const char* signer = proven ? reader.indexKey.c_str() : sender->senderKeyName;
        if (!engine.Evp_VerifyInit(head.digestId2, signer, head.kind)) {
            ShowMessage(msg::envelope::VerifyInitFailed);
            return 0;
        }
        std::string lastOutput;
        int result = 0;
        int verdict = 0;
        bool beyond = false;
        {
            ProgressReport progress(MessageText(msg::package::DecryptingTitle), MessageText(msg::package::Decrypting),
                                    notifyWindow, silent != 0);
            int32_t trailerOffset = 0;
            result = pass.Run(&package, base, progress, lastOutput, &trailerOffset);
            if (result == 1) verdict = Verify(package, head, *sender, signer, proven, trailerOffset);
            // Bytes between the contents and the trailer, or behind it, are damage to a check and
            // a restore alike; the files a verified signature covers are still restored.
            if (result == 1 && verdict == 1 && !pass.EndsWhereRecordsSay(&package, trailerOffset)) {
                ShowMessage(msg::formats::StructureError);
                beyond = true;
            }
            if (result == 1 && plan.testOnly && (verdict != 1 || beyond)) result = 0;
            package.Abort();
        }
        if (result == 1 && !plan.testOnly) result = Conclude(pass, verdict, proven);
        if (beyond) result = 0;
        engine.m_packageShortfall = pass.Shortfall();
        engine.m_packageIncomplete = pass.Incomplete();
        pass.DiscardHeld();
        if (result == 1 && !plan.testOnly && head.itemCount == 1 && direct) OfferLoneResult(engine, &logon, lastOutput);
        return result;
    }

    // Reads the package through as a check does, with no message and nothing written, and
    // answers in *proven whether its signature verifies with the reader's own certificate (a
    // bare digest proves nothing). False only when the package could not be put back where it
    // was. The restore that follows reports whatever is wrong with the package.
    bool ProvenOwn(CFile& package, const EncryptFlag& head, const ContentKey& key, const Reader& reader, bool* proven) {
        const uint64_t start = package.GetPosition();
        {
            QuietHost quiet;
            ScopedUiHost installed(quiet);
            RestorePlan plan;
            plan.key = &key;
            plan.itemCount = head.itemCount;
            plan.oldLayout = IsVersion10(head);
            plan.digest = ContentStream::Digest::kVerify;
            plan.testOnly = true;
            RestorePass pass(engine, baseFolder, workPath, plan);
            ProgressReport progress({}, {}, nullptr, true);
            std::string last;
            int32_t trailerOffset = 0;
            auto trailer = std::make_unique<SignatureTrailer>();
            *proven = engine.Evp_VerifyInit(head.digestId2, reader.indexKey.c_str(), head.kind) &&
                      pass.Run(&package, "./", progress, last, &trailerOffset) == 1 && trailerOffset >= 0 &&
                      engine.fSeek(&package, trailerOffset, CFile::begin) &&
                      ReadSignatureTrailer(engine.Records(), &package, IsVersion10(head), *trailer) &&
                      trailer->digestOnly == 0 &&
                      engine.Evp_VerifyFinal(trailer->signature, static_cast<unsigned>(trailer->signatureLength),
                                             reader.indexKey.c_str(), static_cast<char>(head.kind), 0) == 1 &&
                      pass.EndsWhereRecordsSay(&package, trailerOffset);
        }
        return engine.fSeek(&package, static_cast<long>(start), CFile::begin) != 0;
    }

    // 1 verified; 0 the signature does not verify, cannot be checked, or was made by someone
    // other than the sender the package names; -1 the trailer could not be read (said why).
    // The sender is the user whose certificate checked the signature (a bare digest proves
    // nobody, and never counts for a package proven to be the reader's own).
    int Verify(CFile& package, const EncryptFlag& head, const Verify_IndexInfo& sender, const char* signer, bool proven,
               int32_t trailerOffset) {
        auto trailer = std::make_unique<SignatureTrailer>();
        if (trailerOffset < 0) {  // beyond what the field holds: a package no writer makes whole
            ShowMessage(msg::formats::StructureError);
            return -1;
        }
        if (!engine.fSeek(&package, trailerOffset, CFile::begin) ||
            !ReadSignatureTrailer(engine.Records(), &package, IsVersion10(head), *trailer))
            return -1;
        const unsigned digestOnly = proven ? 0 : static_cast<unsigned>(trailer->digestOnly);
        if (engine.Evp_VerifyFinal(trailer->signature, static_cast<unsigned>(trailer->signatureLength), signer,
                                   static_cast<char>(head.kind), digestOnly) != 1)
            return 0;
        const SignerProof& proof = engine.SignerProved();
        ILogon* logon = LogonLibrary();
        if (proof.Proven() && (logon == nullptr || !TextNamesProvenSigner(*logon, sender.identity, head.kind, proof))) {
            ShowMessage(msg::envelope::SenderNotCertificate);
            return 0;
        }
        return 1;
    }

    // The verdict decides what becomes of the files held under temporary names: those of a
    // verified package take their names; after a signature that does not verify only when the
    // user wants them anyway (the call still fails), and never in the folder of a package
    // proven the reader's own whose second reading failed. A damaged trailer keeps nothing.
    static int Conclude(RestorePass& pass, int verdict, bool proven) {
        if (verdict == 1) return pass.CommitHeld();
        if (verdict == 0 && !proven && pass.HeldCount() > 0 && ShowMessage(msg::envelope::KeepUnverified) == IDYES)
            pass.CommitHeld();
        return 0;
    }
};

}  // namespace

int CKorvane::EnvelopDecryptFiles(const char* packagePath, HWND notifyWindow, int direct, int silent) try {
    EngineCall call(m_context);
    std::string packageFolder = FolderPart(packagePath);
    if (packageFolder.empty()) packageFolder = "./";
    ILogon* logon = LogonLibrary();
    Reader reader;
    int type = 0;
    if (!logon || !logon->GetLogonUser(reader.userId, reader.password, type)) return 0;
    CFile package;
    if (!OpenForReading(packagePath, package, 1)) return 0;
    Envelope envelope{*this, m_baseFolder, m_workPath, notifyWindow, direct, silent};
    m_signerProof = {};
    int result = envelope.Decrypt(package, packageFolder, *logon, reader);
    if (result == 1) m_packageSenders.push_back({packagePath, m_signerProof});
    return result;
} catch (...) {
    return EntryFailed(m_context, 0);
}
