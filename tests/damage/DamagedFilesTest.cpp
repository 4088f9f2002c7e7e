// Damaged secured files of every kind: a valid password package, envelope package, signature
// file and mail package made here, copies of each with one fault (a table of the fault and the
// one message it must give), and every truncation and every changed byte. A damaged file is
// refused with exactly one message or gives back exactly what was secured; nothing is written
// outside the output folder, nothing crashes.

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "DamagedFile.h"
#include "engine/Korvane.h"
#include "engine/Messages.h"
#include "envelope/EnvelopePackager.h"
#include "envelope/Messages.h"
#include "formats/EnvelopeRecords.h"
#include "formats/Messages.h"
#include "formats/PackageRecords.h"
#include "mail/MailFixture.h"
#include "mail/Messages.h"
#include "package/Messages.h"
#include "password/PasswordPackager.h"
#include "signature/SignatureRecord.h"

namespace fs = std::filesystem;

namespace {

struct Fault {
    std::string what;
    std::string bytes;
    const MessageDef* message;             // the one message shown
    const MessageDef* question = nullptr;  // asked after it: whether to keep files of a failed verdict
};

const std::string kContent = RandomBytes(64, 9);

// What the readers show for damage, by name.
const MessageDef* const kRead = &msg::engine::ShortRead;          // a field cut short
const MessageDef* const kNotSecured = &msg::formats::NotSecured;  // too short for a head
const MessageDef* const kHeadCrc = &msg::formats::HeadCrc1;
const MessageDef* const kCheckCrc = &msg::formats::RecordCrc3;
const MessageDef* const kDirectoryCrc = &msg::formats::FolderCrc4;
const MessageDef* const kFileCrc = &msg::formats::FileCrc5;
const MessageDef* const kEndCrc = &msg::formats::EndCrc7;
const MessageDef* const kContentCrc = &msg::package::ContentCrcContinue;
const MessageDef* const kDataShort = &msg::package::DataShort;
const MessageDef* const kTooNew = &msg::formats::TooNewToDecrypt;
const MessageDef* const kAlgorithm = &msg::formats::UnsupportedCipher;
const MessageDef* const kStructure = &msg::formats::StructureError;
const MessageDef* const kSenderCrc = &msg::formats::SenderCrc2;
const MessageDef* const kRecipientCrc = &msg::formats::RecordCrc3;
const MessageDef* const kTrailerCrc = &msg::formats::TrailerCrc8;
const MessageDef* const kSignatureHeadCrc = &msg::formats::SignatureHeadCrc;

// The cuts of a package: an empty file is no secured file; every later record cut short.
std::vector<const MessageDef*> HeadThenRead(size_t records) {
    std::vector<const MessageDef*> cuts(records, kRead);
    cuts.front() = kNotSecured;
    return cuts;
}

class DamagedFiles : public LogonHostTest {
protected:
    DamagedFiles() {
        AddUsers({"alice", "bob", "carol"});
        fs::create_directories(dir / "src/zz");
        WriteFile(dir / "src/zz/ab", "first file");
        WriteFile(dir / "src/zz/cd", kContent);
    }

    // Makes the valid file of `kind`; its path.
    std::string Make(SecuredKind kind) {
        CKorvane e;
        if (kind != SecuredKind::kPassword) LogOn("alice");
        switch (kind) {
            case SecuredKind::kPassword: {
                PasswordPackRequest r;
                r.packagePath = dir / "p.pkg", r.paths = {dir / "src/zz"}, r.baseFolder = dir / "src";
                r.password = "secret1";
                EXPECT_EQ(PackWithPassword(e, r), 1);
                return r.packagePath;
            }
            case SecuredKind::kEnvelope: {
                EnvelopePackRequest r;
                r.packagePath = dir / "e.vrk", r.paths = {dir / "src/zz"}, r.baseFolder = dir / "src";
                r.recipients = {"bob"};
                EXPECT_EQ(PackEnvelope(e, r), 1);
                return r.packagePath;
            }
            case SecuredKind::kSignature:
                EXPECT_EQ(e.SignFiles(PathList({dir / "src/zz/cd"}).c_str(), "alice", "pw-alice", 0, 0), 1);
                return dir / "src/zz/cd.idi";
            case SecuredKind::kMail:
                break;
        }
        std::string signer;
        logon.GetSignerName("alice", signer);
        return PackMail(kMailFlagEncrypt | kMailFlagSign, "bob", {dir / "src/zz/cd"}, signer);
    }

    // `length` bytes (a session key, then the IV) wrapped for bob as the writers wrap them.
    std::string WrappedForBob(size_t length) {
        LogonKeyRecord key;
        LogonUserRecord bob;
        EXPECT_TRUE(logon.GetUserRecords(key, bob, "bob"));
        const std::string plain = RandomBytes(length, 5);
        unsigned char out[kLogonWrapOutRoom];
        const int n = logon.WrapSessionKey(static_cast<int>(length),
                                           reinterpret_cast<const unsigned char*>(plain.data()), out, bob.number);
        EXPECT_GT(n, 0);
        return std::string(reinterpret_cast<const char*>(out), static_cast<size_t>(std::max(n, 0)));
    }

    std::string Out(SecuredKind kind) const {
        return kind == SecuredKind::kMail ? logon.Home() + "/mail" : dir / "out";
    }

    // Opens `bytes` as its kind's reader does (bob reads, a declining host), from memory when
    // asked (mail). 1 when the reader gave back what was secured.
    int Open(SecuredKind kind, const std::string& bytes, bool memory = false) {
        fs::remove_all(Out(kind));
        fs::create_directories(Out(kind));
        const std::string path = kind == SecuredKind::kSignature ? dir / "src/zz/cd.idi" : dir / "bad";
        WriteFile(path, bytes);
        host.Clear();
        host.AddAnswer("yes-no", "no");
        CKorvane e;
        e.m_presetOutFolder = Out(kind);
        LogOn(kind == SecuredKind::kSignature ? "alice" : "bob");
        switch (kind) {
            case SecuredKind::kPassword:
                e.m_batchPassword = "secret1";
                e.m_passwordKnown = 1;
                return e.SymmtryDecryptFiles(path.c_str(), nullptr, 0, 0);
            case SecuredKind::kEnvelope:
                return e.EnvelopDecryptFiles(path.c_str(), nullptr, 0, 0);
            case SecuredKind::kSignature:
                return e.Verify_One_File(path.c_str());
            case SecuredKind::kMail:
                break;
        }
        return UnpackMail(bytes, memory ? std::string() : path).result;
    }

    // What a reader that succeeded must have given back.
    void ExpectRestored(SecuredKind kind, const std::string& what) {
        if (kind == SecuredKind::kSignature) return;
        const std::string cd = kind == SecuredKind::kMail ? Out(kind) + "/cd" : Out(kind) + "/zz/cd";
        EXPECT_EQ(ReadFile(cd), kContent) << what;
    }

    // Every path below the test's folders but the output folder and the file read.
    std::vector<std::string> Outside(SecuredKind kind) const {
        std::vector<std::string> out;
        for (const std::string& root : {dir.Path(), logon.Home()})
            for (const auto& e : fs::recursive_directory_iterator(root)) {
                const std::string p = e.path().string();
                if (p.rfind(Out(kind), 0) != 0 && p != dir / "bad") out.push_back(p);
            }
        std::sort(out.begin(), out.end());
        return out;
    }

    // One fault: refused with exactly its message, nothing written outside the output folder.
    void ExpectRefused(SecuredKind kind, const Fault& fault) {
        SCOPED_TRACE(fault.what);
        const auto before = Outside(kind);
        EXPECT_NE(Open(kind, fault.bytes), 1);
        std::vector<std::string> shown{fault.message->Id()};
        if (fault.question) shown.push_back(fault.question->Id());
        EXPECT_EQ(host.MessageIds(), shown);
        EXPECT_EQ(Outside(kind), before);
    }

    // Every truncation and every changed byte: one message, or what was secured.
    void Sweep(SecuredKind kind, const DamagedFile& file) {
        const auto before = Outside(kind);
        auto attempt = [&](const std::string& bytes, const std::string& what) {
            // Mail packages are read from a file and from memory.
            for (bool memory : {false, true}) {
                if (memory && kind != SecuredKind::kMail) break;
                if (Open(kind, bytes, memory) == 1)
                    ExpectRestored(kind, what);
                else
                    EXPECT_EQ(host.Messages().size(), 1u) << what << (memory ? " (memory)" : "");
                EXPECT_EQ(Outside(kind), before) << what;
            }
        };
        const std::string& good = file.Valid();
        for (size_t n = 0; n < good.size(); ++n) attempt(file.Cut(n), "cut at " + std::to_string(n));
        for (size_t i = 0; i < good.size(); ++i) attempt(file.FlipByte(i), "byte " + std::to_string(i));
    }

    // The faults, then a cut in front of every record, each refused with its message (the cuts'
    // in record order).
    void ExpectAllRefused(SecuredKind kind, const DamagedFile& file, std::vector<Fault> faults,
                          const std::vector<const MessageDef*>& cutMessages) {
        ASSERT_EQ(cutMessages.size(), file.Records().size());
        for (size_t i = 0; i < cutMessages.size(); ++i) {
            const RecordSpan& r = file.Records()[i];
            faults.push_back(
                {"cut before " + r.name + " at " + std::to_string(r.begin), file.Cut(r.begin), cutMessages[i]});
        }
        for (const Fault& f : faults) ExpectRefused(kind, f);
        std::printf("[  faults  ] %zu, each with its one message\n", faults.size());
    }
};

}  // namespace

TEST_F(DamagedFiles, PasswordPackage) {
    DamagedFile p(SecuredKind::kPassword, Make(SecuredKind::kPassword));
    const RecordSpan &check = p.Record("key check"), &folder = p.Record("directory"), &file = p.Record("file", 1);
    const int32_t size = static_cast<int32_t>(p.Valid().size());
    ExpectAllRefused(
        SecuredKind::kPassword, p,
        {
            {"head CRC", p.FlipCrc(p.Record("head")), kHeadCrc},
            {"key check CRC", p.FlipCrc(check), kCheckCrc},
            {"directory CRC", p.FlipCrc(folder), kDirectoryCrc},
            {"file CRC", p.FlipCrc(file), kFileCrc},
            {"end CRC", p.FlipCrc(p.Record("end")), kEndCrc},
            {"content CRC", p.FlipByte(p.Valid().size() - 1), kContentCrc},
            {"check length at cap", p.SetI32(check, 0, kKeyCheckRoom), kRead},
            {"check length at cap + 1", p.SetI32(check, 0, kKeyCheckRoom + 1), kStructure},
            {"negative check length", p.SetI32(check, 0, -1), kStructure},
            {"name length at cap", p.SetI32(folder, 8, kRecordNameRoom - 1), kRead},
            {"name length at cap + 1", p.SetI32(folder, 8, kRecordNameRoom), kStructure},
            {"negative name length", p.SetI32(folder, 8, -1), kStructure},
            {"negative content length", p.SetI32(file, 12 + 2, -1), kStructure},
            {"wrong kind", p.WithHead([](EncryptFlag& h) { h.kind = kKindEnvelope; }),
             &msg::formats::NotPasswordPackage},
            {"newer version", p.WithHead([](EncryptFlag& h) { std::memcpy(h.version, "40", 2); }), kTooNew},
            {"unknown cipher", p.WithHead([](EncryptFlag& h) { h.cipherId = 47; }), kAlgorithm},
            {"record type with no known bit", p.SetI32(folder, 0, 0x40), kStructure},
            {"data offset past the end", p.SetI32(file, 4, size + 100), kDataShort},
            {"negative data offset", p.SetI32(file, 4, -1), kStructure},
            {"overlapping data", p.SetI32(file, 4, static_cast<int32_t>(p.Record("end").End())), kContentCrc},
            {"directory escaping the output folder", p.SetField(folder, 12, 3, "..\\"), kStructure},
            {"directory from the root", p.SetField(folder, 12, 3, "/z\\"), kStructure},
            {"file name with a separator", p.SetField(file, 12, 2, "a/"), kStructure},
            {"file name ..", p.SetField(file, 12, 2, ".."), kStructure},
        },
        HeadThenRead(p.Records().size()));
    Sweep(SecuredKind::kPassword, p);

    // A name the record list holds twice, the second replacing the first: one file restored,
    // listed once.
    Open(SecuredKind::kPassword, p.SetField(file, 12, 2, "ab"));
    host.AddAnswer("replace", "all");
    CKorvane e;
    e.m_presetOutFolder = Out(SecuredKind::kPassword);
    e.m_batchPassword = "secret1";
    e.m_passwordKnown = 1;
    ASSERT_EQ(e.SymmtryDecryptFiles((dir / "bad").c_str(), nullptr, 0, 0), 1);
    EXPECT_EQ(ReadFile(dir / "out/zz/ab"), kContent);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(e.m_decryptedFiles.Data()), e.m_decryptedFiles.GetLength()),
              dir / "out/zz/ab|");
}

TEST_F(DamagedFiles, EnvelopePackage) {
    DamagedFile p(SecuredKind::kEnvelope, Make(SecuredKind::kEnvelope));
    const RecordSpan &sender = p.Record("sender"), &recipient = p.Record("recipient", 1),
                     &trailer = p.Record("trailer");
    const RecordSpan &folder = p.Record("directory"), &file = p.Record("file", 1);
    const size_t text = static_cast<size_t>(p.I32(recipient, 0));
    const size_t wrapped = 4 + text + 4 + static_cast<size_t>(p.I32(recipient, 4 + text));
    const size_t wrappedSize = static_cast<size_t>(p.I32(recipient, wrapped));
    const int32_t size = static_cast<int32_t>(p.Valid().size());
    // Cipher 46 takes a 16-byte key and an 8-byte IV: a shorter key or IV unwrapped for bob is
    // refused before anything is written.
    for (auto [length, what] : {std::pair{size_t{12}, "a key of 4 bytes"},
                                {size_t{20}, "a key of 12 bytes"},
                                {size_t{28}, "a key of 20 bytes"}}) {
        const std::string bytes = p.SetField(recipient, wrapped + 8, wrappedSize, WrappedForBob(length));
        ExpectRefused(SecuredKind::kEnvelope, {what, bytes, &msg::envelope::UnwrapFailed1003});
        EXPECT_TRUE(fs::is_empty(Out(SecuredKind::kEnvelope))) << what;
    }
    ExpectAllRefused(
        SecuredKind::kEnvelope, p,
        {
            {"head CRC", p.FlipCrc(p.Record("head")), kHeadCrc},
            {"sender CRC", p.FlipCrc(sender), kSenderCrc},
            {"recipient CRC", p.FlipCrc(recipient), kRecipientCrc},
            {"directory CRC", p.FlipCrc(folder), kDirectoryCrc},
            {"file CRC", p.FlipCrc(file), kFileCrc},
            {"end CRC", p.FlipCrc(p.Record("end")), kEndCrc},
            {"trailer CRC", p.FlipCrc(trailer), kTrailerCrc},
            {"content CRC", p.FlipByte(trailer.begin - 1), kContentCrc},
            {"sender identity at cap", p.SetI32(sender, 0, kSenderIdentityRoom - 1), kSenderCrc},
            {"sender identity at cap + 1", p.SetI32(sender, 0, kSenderIdentityRoom), kSenderCrc},
            {"negative sender identity", p.SetI32(sender, 0, -1), kSenderCrc},
            {"recipient text at cap", p.SetI32(recipient, 0, kRecipientTextRoom - 1), kRecipientCrc},
            {"recipient text at cap + 1", p.SetI32(recipient, 0, kRecipientTextRoom), kRecipientCrc},
            {"wrapped key at cap", p.SetI32(recipient, wrapped, kWrappedKeyRoom), kRead},
            {"wrapped key at cap + 1", p.SetI32(recipient, wrapped, kWrappedKeyRoom + 1), kRecipientCrc},
            {"negative wrapped key", p.SetI32(recipient, wrapped, -1), kRecipientCrc},
            {"signature at cap", p.SetI32(trailer, 4, kTrailerSignatureRoom, false), kRead},
            {"signature at cap + 1", p.SetI32(trailer, 4, kTrailerSignatureRoom + 1, false), kTrailerCrc},
            {"name length at cap + 1", p.SetI32(folder, 8, kRecordNameRoom), kStructure},
            {"recipients at cap + 1", p.WithHead([](EncryptFlag& h) { h.count = kMaxRecipients + 1; }), kStructure},
            {"negative recipients", p.WithHead([](EncryptFlag& h) { h.count = -1; }), kStructure},
            {"wrong kind", p.WithHead([](EncryptFlag& h) { h.kind = kKindPassword; }),
             &msg::formats::NotEnvelopePackage},
            {"newer version", p.WithHead([](EncryptFlag& h) { std::memcpy(h.version, "40", 2); }), kTooNew},
            {"unknown cipher", p.WithHead([](EncryptFlag& h) { h.cipherId = 47; }), kAlgorithm},
            {"unknown digest", p.WithHead([](EncryptFlag& h) { h.digestId2 = 41; }), kAlgorithm},
            {"record type with no known bit", p.SetI32(file, 0, 0x40), kStructure},
            {"data offset past the end", p.SetI32(file, 4, size + 100), kDataShort},
            {"overlapping data", p.SetI32(file, 4, static_cast<int32_t>(p.Record("end").End())), kContentCrc},
            {"trailer offset past the end", p.SetI32(p.Record("end"), 4, size), kRead},
            {"directory escaping the output folder", p.SetField(folder, 12, 3, "..\\"), kStructure},
            {"sender named as another user than the signer", p.SetField(sender, 4, 5, "carol"),
             &msg::envelope::SenderNotCertificate, &msg::envelope::KeepUnverified},
        },
        HeadThenRead(p.Records().size()));
    Sweep(SecuredKind::kEnvelope, p);
}

TEST_F(DamagedFiles, SignatureFile) {
    DamagedFile p(SecuredKind::kSignature, Make(SecuredKind::kSignature));
    const RecordSpan& record = p.Record("record");
    const size_t signature = 4 + static_cast<size_t>(p.I32(record, 0)) + kSignTimeLength + 4 + 1 + kSignTimeLength;
    // The record runs to the end of the file, so a length at its cap reads into the CRC: damage.
    ExpectAllRefused(
        SecuredKind::kSignature, p,
        {
            {"head CRC", p.FlipCrc(p.Record("head")), kSignatureHeadCrc},
            {"record CRC", p.FlipCrc(record), kSignatureHeadCrc},
            {"path at cap", p.SetI32(record, 0, kSignPathRoom - 1), kSignatureHeadCrc},
            {"path at cap + 1", p.SetI32(record, 0, kSignPathRoom), kSignatureHeadCrc},
            {"negative path", p.SetI32(record, 0, -1), kSignatureHeadCrc},
            {"signature at cap", p.SetI32(record, signature, kSignRecordSignatureRoom), kSignatureHeadCrc},
            {"signature at cap + 1", p.SetI32(record, signature, kSignRecordSignatureRoom + 1), kSignatureHeadCrc},
            {"cut inside the record", p.Cut(p.Valid().size() - 1), kSignatureHeadCrc},
            {"wrong kind", p.WithHead([](EncryptFlag& h) { h.kind = kKindEnvelope; }), &msg::formats::NotSignature},
            {"wrong kind before unknown digest",
             p.WithHead([](EncryptFlag& h) { h.kind = kKindEnvelope, h.digestId2 = 41; }), &msg::formats::NotSignature},
            {"newer version", p.WithHead([](EncryptFlag& h) { std::memcpy(h.version, "40", 2); }),
             &msg::formats::TooNewToVerify},
            {"unknown digest", p.WithHead([](EncryptFlag& h) { h.digestId2 = 41; }),
             &msg::formats::UnsupportedSignatureDigest},
        },
        {kNotSecured, kSignatureHeadCrc});
    Sweep(SecuredKind::kSignature, p);
}

TEST_F(DamagedFiles, MailPackage) {
    DamagedFile p(SecuredKind::kMail, Make(SecuredKind::kMail));
    const RecordSpan &signer = p.Record("signer"), &recipient = p.Record("recipient"), &entry = p.Record("entry");
    const RecordSpan &end = p.Record("end entry"), &signature = p.Record("signature");
    const size_t wrapped = 1 + 4 + static_cast<size_t>(p.I32(recipient, 1));
    const size_t wrappedSize = static_cast<size_t>(p.I32(recipient, wrapped));
    const int32_t size = static_cast<int32_t>(p.Valid().size());
    ExpectAllRefused(
        SecuredKind::kMail, p,
        {
            {"header CRC", p.FlipCrc(p.Record("header")), &msg::mail::HeaderCrc},
            {"signer CRC", p.FlipCrc(signer), &msg::mail::SignerCrc},
            {"recipient CRC", p.FlipCrc(recipient), &msg::mail::RecipientCrc},
            {"entry CRC", p.FlipCrc(entry), &msg::mail::EntryCrc},
            {"end entry CRC", p.FlipCrc(end), &msg::mail::EndCrc},
            {"signature CRC", p.FlipCrc(signature), &msg::mail::SignatureCrc},
            {"content CRC", p.FlipByte(signature.begin - 1), &msg::mail::ContentCrc},
            {"signer at cap", p.SetI32(signer, 1, kMailSignerNameMax), kRead},
            {"signer at cap + 1", p.SetI32(signer, 1, kMailSignerNameMax + 1), &msg::mail::SignerCrc},
            {"negative signer", p.SetI32(signer, 1, -1), &msg::mail::SignerCrc},
            {"recipient at cap", p.SetI32(recipient, 1, kMailRecipientNameMax), &msg::mail::RecipientCrc},
            {"recipient at cap + 1", p.SetI32(recipient, 1, kMailRecipientNameMax + 1), &msg::mail::RecipientCrc},
            {"wrapped key at cap", p.SetI32(recipient, wrapped, kMailWrappedKeyMax), kRead},
            {"wrapped key at cap + 1", p.SetI32(recipient, wrapped, kMailWrappedKeyMax + 1), &msg::mail::RecipientCrc},
            {"name at cap", p.SetI32(entry, 8, kMailFileNameMax), &msg::mail::EntryCrc},
            {"name at cap + 1", p.SetI32(entry, 8, kMailFileNameMax + 1), &msg::mail::EntryCrc},
            {"negative name", p.SetI32(entry, 8, -1), &msg::mail::EntryCrc},
            {"signature at cap", p.SetI32(signature, 4, kMailSignatureMax, false), kRead},
            {"signature at cap + 1", p.SetI32(signature, 4, kMailSignatureMax + 1, false), &msg::mail::SignatureCrc},
            {"not a mail package", p.WithMailHeader([](MailHeader& h) { h.magic[0] = 'K'; }), &msg::mail::NotMail},
            {"newer version", p.WithMailHeader([](MailHeader& h) { std::memcpy(h.version, "40", 2); }),
             &msg::mail::TooNew},
            {"neither encrypted nor signed", p.WithMailHeader([](MailHeader& h) { h.mailFlag = 0; }),
             &msg::mail::NeitherFlag},
            {"unknown cipher", p.WithMailHeader([](MailHeader& h) { h.cipherId = 47; }), &msg::mail::BadCipher},
            {"unknown digest", p.WithMailHeader([](MailHeader& h) { h.digestId2 = 41; }), &msg::mail::BadDigest},
            {"more files than the package holds", p.WithMailHeader([](MailHeader& h) { h.fileCount = 1000; }),
             &msg::mail::NotMail},
            {"negative file count", p.WithMailHeader([](MailHeader& h) { h.fileCount = -1; }), &msg::mail::NotMail},
            {"entry with no known bit", p.SetI32(entry, 0, 0x40), &msg::mail::BadEntry},
            {"data offset past the end", p.SetI32(entry, 4, size + 100), &msg::mail::DataShort},
            {"negative data offset", p.SetI32(entry, 4, -1), &msg::mail::EntryCrc},
            {"overlapping data", p.SetI32(entry, 4, 0), &msg::mail::ContentCrc},
            {"name escaping the mail folder", p.SetField(entry, 12, 2, ".."), &msg::mail::EntryCrc},
            {"a key of 4 bytes", p.SetField(recipient, wrapped + 8, wrappedSize, WrappedForBob(12)),
             &msg::mail::UnwrapFailed},
            {"signature block asking for a digest compare", p.SetI32(signature, 0, 1, false),
             &msg::engine::BadSignature},
        },
        {&msg::mail::NotMail, &msg::mail::NotMail, &msg::mail::NotMail, kRead, &msg::mail::DataShort, kRead});
    Sweep(SecuredKind::kMail, p);
}
