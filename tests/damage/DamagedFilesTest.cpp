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
#include "envelope/EnvelopePackager.h"
#include "formats/EnvelopeRecords.h"
#include "formats/PackageRecords.h"
#include "mail/MailFixture.h"
#include "mail/MailMessages.h"
#include "password/PasswordPackager.h"
#include "signature/SignatureRecord.h"

namespace fs = std::filesystem;

namespace {

struct Fault {
    std::string what;
    std::string bytes;
    std::string message;        // the one message shown
    std::string question = {};  // asked after it: whether to keep files of a failed verdict
};

const std::string kContent = RandomBytes(64, 9);

// What the readers show for damage, in the system's words.
const std::string kRead = "文件可能被修改，读文件错,";  // a field cut short
const std::string kHeadCrc = "CRC校验错,文件已损坏, 不能解密-1";
const std::string kCheckCrc = "CRC校验错, 文件被损坏, 不能解密文件.-3 ";
const std::string kDirectoryCrc = "CRC校验错, 文件被损坏, 不能解密文件 -4. ";
const std::string kFileCrc = "CRC校验错, 文件被损坏, 不能解密文件-5. ";
const std::string kEndCrc = "CRC校验错, 文件被损坏, 不能解密文件-7. ";
const std::string kContentCrc = "文件内容CRC校验错, 是否继续? ";
const std::string kDataShort = "加密文件损坏, 不能正确解密-6.";
const std::string kTooNew = "请使用本软件的高版本(加密版本为: 4.00)解密此文件.";
const std::string kAlgorithm = "不支持的加密算法";

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
        std::vector<std::string> shown{fault.message};
        if (!fault.question.empty()) shown.push_back(fault.question);
        EXPECT_EQ(host.MessageTexts(), shown);
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
                          const std::vector<std::string>& cutMessages) {
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
            {"check length at cap + 1", p.SetI32(check, 0, kKeyCheckRoom + 1), kStructureError},
            {"negative check length", p.SetI32(check, 0, -1), kStructureError},
            {"name length at cap", p.SetI32(folder, 8, kRecordNameRoom - 1), kRead},
            {"name length at cap + 1", p.SetI32(folder, 8, kRecordNameRoom), kStructureError},
            {"negative name length", p.SetI32(folder, 8, -1), kStructureError},
            {"negative content length", p.SetI32(file, 12 + 2, -1), kStructureError},
            {"wrong kind", p.WithHead([](EncryptFlag& h) { h.kind = kKindEnvelope; }), "这不是一个密码加密文件"},
            {"newer version", p.WithHead([](EncryptFlag& h) { std::memcpy(h.version, "40", 2); }), kTooNew},
            {"unknown cipher", p.WithHead([](EncryptFlag& h) { h.cipherId = 47; }), kAlgorithm},
            {"record type with no known bit", p.SetI32(folder, 0, 0x40), kStructureError},
            {"data offset past the end", p.SetI32(file, 4, size + 100), kDataShort},
            {"negative data offset", p.SetI32(file, 4, -1), kStructureError},
            {"overlapping data", p.SetI32(file, 4, static_cast<int32_t>(p.Record("end").End())), kContentCrc},
            {"directory escaping the output folder", p.SetField(folder, 12, 3, "..\\"), kStructureError},
            {"directory from the root", p.SetField(folder, 12, 3, "/z\\"), kStructureError},
            {"file name with a separator", p.SetField(file, 12, 2, "a/"), kStructureError},
            {"file name ..", p.SetField(file, 12, 2, ".."), kStructureError},
        },
        std::vector<std::string>(p.Records().size(), kRead));
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
        ExpectRefused(SecuredKind::kEnvelope, {what, bytes, "解密对称密钥出错（1003）."});
        EXPECT_TRUE(fs::is_empty(Out(SecuredKind::kEnvelope))) << what;
    }
    ExpectAllRefused(
        SecuredKind::kEnvelope, p,
        {
            {"head CRC", p.FlipCrc(p.Record("head")), kHeadCrc},
            {"sender CRC", p.FlipCrc(sender), kSenderCrcMessage},
            {"recipient CRC", p.FlipCrc(recipient), kRecipientCrcMessage},
            {"directory CRC", p.FlipCrc(folder), kDirectoryCrc},
            {"file CRC", p.FlipCrc(file), kFileCrc},
            {"end CRC", p.FlipCrc(p.Record("end")), kEndCrc},
            {"trailer CRC", p.FlipCrc(trailer), kTrailerCrcMessage},
            {"content CRC", p.FlipByte(trailer.begin - 1), kContentCrc},
            {"sender identity at cap", p.SetI32(sender, 0, kSenderIdentityRoom - 1), kSenderCrcMessage},
            {"sender identity at cap + 1", p.SetI32(sender, 0, kSenderIdentityRoom), kSenderCrcMessage},
            {"negative sender identity", p.SetI32(sender, 0, -1), kSenderCrcMessage},
            {"recipient text at cap", p.SetI32(recipient, 0, kRecipientTextRoom - 1), kRecipientCrcMessage},
            {"recipient text at cap + 1", p.SetI32(recipient, 0, kRecipientTextRoom), kRecipientCrcMessage},
            {"wrapped key at cap", p.SetI32(recipient, wrapped, kWrappedKeyRoom), kRead},
            {"wrapped key at cap + 1", p.SetI32(recipient, wrapped, kWrappedKeyRoom + 1), kRecipientCrcMessage},
            {"negative wrapped key", p.SetI32(recipient, wrapped, -1), kRecipientCrcMessage},
            {"signature at cap", p.SetI32(trailer, 4, kTrailerSignatureRoom, false), kRead},
            {"signature at cap + 1", p.SetI32(trailer, 4, kTrailerSignatureRoom + 1, false), kTrailerCrcMessage},
            {"name length at cap + 1", p.SetI32(folder, 8, kRecordNameRoom), kStructureError},
            {"recipients at cap + 1", p.WithHead([](EncryptFlag& h) { h.count = kMaxRecipients + 1; }),
             kStructureError},
            {"negative recipients", p.WithHead([](EncryptFlag& h) { h.count = -1; }), kStructureError},
            {"wrong kind", p.WithHead([](EncryptFlag& h) { h.kind = kKindPassword; }), "这不是一个数字信封加密文件"},
            {"newer version", p.WithHead([](EncryptFlag& h) { std::memcpy(h.version, "40", 2); }), kTooNew},
            {"unknown cipher", p.WithHead([](EncryptFlag& h) { h.cipherId = 47; }), kAlgorithm},
            {"unknown digest", p.WithHead([](EncryptFlag& h) { h.digestId2 = 41; }), kAlgorithm},
            {"record type with no known bit", p.SetI32(file, 0, 0x40), kStructureError},
            {"data offset past the end", p.SetI32(file, 4, size + 100), kDataShort},
            {"overlapping data", p.SetI32(file, 4, static_cast<int32_t>(p.Record("end").End())), kContentCrc},
            {"trailer offset past the end", p.SetI32(p.Record("end"), 4, size), kRead},
            {"directory escaping the output folder", p.SetField(folder, 12, 3, "..\\"), kStructureError},
            {"sender named as another user than the signer", p.SetField(sender, 4, 5, "carol"),
             "加密文件中的加密用户与验证数字签名的公钥证书不符, 文件来源不能确认.",
             "数字签名验证未通过，解密出的文件可能已被篡改。是否仍然保留这些文件?"},
        },
        std::vector<std::string>(p.Records().size(), kRead));
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
            {"head CRC", p.FlipCrc(p.Record("head")), kSignRecordDamaged},
            {"record CRC", p.FlipCrc(record), kSignRecordDamaged},
            {"path at cap", p.SetI32(record, 0, kSignPathRoom - 1), kSignRecordDamaged},
            {"path at cap + 1", p.SetI32(record, 0, kSignPathRoom), kSignRecordDamaged},
            {"negative path", p.SetI32(record, 0, -1), kSignRecordDamaged},
            {"signature at cap", p.SetI32(record, signature, kSignRecordSignatureRoom), kSignRecordDamaged},
            {"signature at cap + 1", p.SetI32(record, signature, kSignRecordSignatureRoom + 1), kSignRecordDamaged},
            {"cut inside the record", p.Cut(p.Valid().size() - 1), kSignRecordDamaged},
            {"wrong kind", p.WithHead([](EncryptFlag& h) { h.kind = kKindEnvelope; }), "这不是一个数字签名文件"},
            {"wrong kind before unknown digest",
             p.WithHead([](EncryptFlag& h) { h.kind = kKindEnvelope, h.digestId2 = 41; }), "这不是一个数字签名文件"},
            {"newer version", p.WithHead([](EncryptFlag& h) { std::memcpy(h.version, "40", 2); }),
             "请使用本软件的高版本(加密版本为: 4.00)验证签名."},
            {"unknown digest", p.WithHead([](EncryptFlag& h) { h.digestId2 = 41; }),
             "对不起，本版本不支持签名文件所使用的签名算法，请与软件供应商联系。"},
        },
        {kRead, kSignRecordDamaged});
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
            {"header CRC", p.FlipCrc(p.Record("header")), kMailHeaderCrc},
            {"signer CRC", p.FlipCrc(signer), kMailSignerCrc},
            {"recipient CRC", p.FlipCrc(recipient), kMailRecipientCrc},
            {"entry CRC", p.FlipCrc(entry), kMailEntryCrc},
            {"end entry CRC", p.FlipCrc(end), kMailEndCrc},
            {"signature CRC", p.FlipCrc(signature), kMailSignatureCrc},
            {"content CRC", p.FlipByte(signature.begin - 1), kMailContentCrc},
            {"signer at cap", p.SetI32(signer, 1, kMailSignerNameMax), kRead},
            {"signer at cap + 1", p.SetI32(signer, 1, kMailSignerNameMax + 1), kMailSignerCrc},
            {"negative signer", p.SetI32(signer, 1, -1), kMailSignerCrc},
            {"recipient at cap", p.SetI32(recipient, 1, kMailRecipientNameMax), kMailRecipientCrc},
            {"recipient at cap + 1", p.SetI32(recipient, 1, kMailRecipientNameMax + 1), kMailRecipientCrc},
            {"wrapped key at cap", p.SetI32(recipient, wrapped, kMailWrappedKeyMax), kRead},
            {"wrapped key at cap + 1", p.SetI32(recipient, wrapped, kMailWrappedKeyMax + 1), kMailRecipientCrc},
            {"name at cap", p.SetI32(entry, 8, kMailFileNameMax), kMailEntryCrc},
            {"name at cap + 1", p.SetI32(entry, 8, kMailFileNameMax + 1), kMailEntryCrc},
            {"negative name", p.SetI32(entry, 8, -1), kMailEntryCrc},
            {"signature at cap", p.SetI32(signature, 4, kMailSignatureMax, false), kRead},
            {"signature at cap + 1", p.SetI32(signature, 4, kMailSignatureMax + 1, false), kMailSignatureCrc},
            {"not a mail package", p.WithMailHeader([](MailHeader& h) { h.magic[0] = 'K'; }), kMailNotMail},
            {"newer version", p.WithMailHeader([](MailHeader& h) { std::memcpy(h.version, "40", 2); }), kTooNew},
            {"neither encrypted nor signed", p.WithMailHeader([](MailHeader& h) { h.mailFlag = 0; }), kMailNeitherFlag},
            {"unknown cipher", p.WithMailHeader([](MailHeader& h) { h.cipherId = 47; }), kMailBadCipher},
            {"unknown digest", p.WithMailHeader([](MailHeader& h) { h.digestId2 = 41; }), kMailBadDigest},
            {"more files than the package holds", p.WithMailHeader([](MailHeader& h) { h.fileCount = 1000; }),
             kMailNotMail},
            {"negative file count", p.WithMailHeader([](MailHeader& h) { h.fileCount = -1; }), kMailNotMail},
            {"entry with no known bit", p.SetI32(entry, 0, 0x40), "邮件结构错.fileIndex.nFlag = 64"},
            {"data offset past the end", p.SetI32(entry, 4, size + 100), kMailDataShort},
            {"negative data offset", p.SetI32(entry, 4, -1), kMailEntryCrc},
            {"overlapping data", p.SetI32(entry, 4, 0), kMailContentCrc},
            {"name escaping the mail folder", p.SetField(entry, 12, 2, ".."), kMailEntryCrc},
            {"a key of 4 bytes", p.SetField(recipient, wrapped + 8, wrappedSize, WrappedForBob(12)), kMailUnwrapFailed},
            {"signature block asking for a digest compare", p.SetI32(signature, 0, 1, false), kMailBadSignature},
        },
        {kRead, kMailNotMail, kMailNotMail, kRead, kMailDataShort, kRead});
    Sweep(SecuredKind::kMail, p);
}
