#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "TestSupport.h"
#include "engine/Korvane.h"
#include "formats/EnvelopeRecords.h"
#include "formats/Messages.h"
#include "formats/ProtectedFields.h"

namespace {

using Bytes = std::vector<unsigned char>;

class EnvelopeRecords : public HostTest {
protected:
    CFile Create() { return CFile(dir / "rec", CFile::modeCreate | CFile::modeReadWrite); }
    CFile Open() { return CFile(dir / "rec", CFile::modeRead); }
    CKorvane engine;
};

// A recipient record in the layout of version "10" packages, as old engines wrote it.
void WriteOldRecipient(CKorvane& engine, CFile* file, const std::string& text, const std::string& keyText,
                       const Bytes& wrapped, const Bytes& wrappedIv) {
    ProtectedWriter w(engine.Records(), file);
    ASSERT_TRUE(w.I32(static_cast<int32_t>(text.size())) && w.Field(text.data(), text.size()) &&
                w.I32(static_cast<int32_t>(keyText.size())) && w.Field(keyText.data(), keyText.size()) &&
                w.I32(static_cast<int32_t>(wrapped.size())) && w.Field(wrapped.data(), wrapped.size()) &&
                w.I32(static_cast<int32_t>(wrappedIv.size())) && w.Field(wrappedIv.data(), wrappedIv.size()) &&
                w.Finish());
}

}  // namespace

TEST_F(EnvelopeRecords, SenderRecipientsAndTrailerReadBackAsWrittenInTheNewAndTheOldLayout) {
    const Bytes wrapped(256, 0xA5), signature(128, 0x3C);
    {
        CFile f = Create();
        ASSERT_TRUE(WriteSenderRecord(engine.Records(), &f, "alice", "alice-cert"));
        ASSERT_TRUE(WriteRecipientRecord(engine.Records(), &f, "Alice\nalice@example.org", "Alice<alice@example.org>",
                                         wrapped, 8));
        ASSERT_TRUE(WriteRecipientRecord(engine.Records(), &f, "Bob", "Bob", Bytes(128, 7), 8));
        ASSERT_TRUE(WriteSignatureTrailer(engine.Records(), &f, 0, signature));
    }
    std::string stored = ReadFile(dir / "rec");
    EXPECT_EQ(stored.find("alice"), std::string::npos) << "record fields are stored enciphered";

    CFile f = Open();
    EnvelopeBlocks blocks;
    ASSERT_TRUE(ReadEnvelopeBlocks(engine.Records(), &f, false, 2, blocks));
    EXPECT_STREQ(blocks.sender.identity, "alice");
    EXPECT_STREQ(blocks.sender.senderKeyName, "alice-cert");
    ASSERT_EQ(blocks.recipients.size(), 2u);
    EXPECT_STREQ(blocks.recipients[0].recipientText, "Alice\nalice@example.org");
    EXPECT_STREQ(blocks.recipients[0].keyText, "Alice<alice@example.org>");
    EXPECT_EQ(blocks.recipients[0].vectorLength, 8);
    EXPECT_EQ(Bytes(blocks.recipients[0].wrapped, blocks.recipients[0].wrapped + 256), wrapped);
    EXPECT_STREQ(blocks.recipients[1].recipientText, "Bob");
    auto trailer = std::make_unique<SignatureTrailer>();
    ASSERT_TRUE(ReadSignatureTrailer(engine.Records(), &f, false, *trailer));
    EXPECT_EQ(Bytes(trailer->signature, trailer->signature + trailer->signatureLength), signature);

    // A changed byte fails the blocks quietly or with one message; a short file, quietly too.
    std::string changed = stored;
    changed[stored.size() / 2] ^= 0x01;  // inside the first recipient's wrapped key
    const std::string cut = stored.substr(0, stored.size() / 2);
    for (const auto& [bytes, quiet] : {std::pair{changed, true}, {changed, false}, {cut, true}}) {
        WriteFile(dir / "rec", bytes);
        host.Clear();
        CFile in = Open();
        EnvelopeBlocks again;
        EXPECT_FALSE(ReadEnvelopeBlocks(engine.Records(), &in, false, 2, again, quiet));
        EXPECT_EQ(host.Messages().size(), quiet ? 0u : 1u);
    }

    // The old layout: a recipient with a separate IV, a trailer without the digest-only flag.
    {
        CFile old = Create();
        WriteOldRecipient(engine, &old, "Carol", "Carol", Bytes(100, 1), Bytes(64, 2));
        int32_t length = 3;
        ProtectedWriter w(engine.Records(), &old);
        ASSERT_TRUE(w.Plain(&length, 4) && w.Plain("sig", 3) && w.Finish());
    }
    CFile old = Open();
    Decrypt_Info r;
    ASSERT_TRUE(ReadRecipientRecord(engine.Records(), &old, true, r));
    EXPECT_EQ(r.wrappedLength, 100);
    EXPECT_EQ(r.vectorLength, 64);
    EXPECT_EQ(r.vector[63], 2);
    ASSERT_TRUE(ReadSignatureTrailer(engine.Records(), &old, true, *trailer));
    EXPECT_EQ(trailer->digestOnly, 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(trailer->signature), 3), "sig");
    EXPECT_TRUE(host.Messages().empty());
}

// Every variable field at its room's cap is read; at cap + 1 the writer refuses it ("参数错")
// and a forged record is refused by the reader with the record's message, before reading it
// (deliberately, docs/differences.md).
TEST_F(EnvelopeRecords, EveryLengthIsCheckedAgainstItsRoom) {
    struct Case {
        const char* what;
        size_t cap;
        const MessageDef& message;
        std::function<bool(CKorvane&, CFile*, size_t)> write;  // writes a record with one field n long
        std::function<bool(CKorvane&, CFile*, bool)> read;
    };
    auto text = [](size_t n) { return std::string(n, 't'); };
    auto readSender = [](CKorvane& e, CFile* f, bool quiet) {
        Verify_IndexInfo v;
        return ReadSenderRecord(e.Records(), f, v, quiet);
    };
    auto readRecipient = [](CKorvane& e, CFile* f, bool quiet) {
        auto r = std::make_unique<Decrypt_Info>();
        return ReadRecipientRecord(e.Records(), f, false, *r, quiet);
    };
    auto readTrailer = [](CKorvane& e, CFile* f, bool quiet) {
        auto t = std::make_unique<SignatureTrailer>();
        return ReadSignatureTrailer(e.Records(), f, false, *t, quiet);
    };
    // Forges records the writers would refuse, through the bare record writer.
    auto forgeSender = [](CKorvane& e, CFile* f, const std::string& id, const std::string& key) {
        ProtectedWriter w(e.Records(), f);
        return w.I32(static_cast<int32_t>(id.size())) && w.Field(id.data(), id.size()) &&
               w.I32(static_cast<int32_t>(key.size())) && w.Field(key.data(), key.size()) && w.Finish();
    };
    auto forgeRecipient = [](CKorvane& e, CFile* f, const std::string& t, const std::string& k, size_t wrapped) {
        ProtectedWriter w(e.Records(), f);
        std::string wr(wrapped, 'w');
        return w.I32(static_cast<int32_t>(t.size())) && w.Field(t.data(), t.size()) &&
               w.I32(static_cast<int32_t>(k.size())) && w.Field(k.data(), k.size()) &&
               w.I32(static_cast<int32_t>(wrapped)) && w.I32(8) && w.Field(wr.data(), wrapped) && w.Finish();
    };
    std::vector<Case> cases = {
        {"identity", kSenderIdentityRoom - 1, msg::formats::SenderCrc2,
         [&](CKorvane& e, CFile* f, size_t n) { return forgeSender(e, f, text(n), "key"); }, readSender},
        {"sender key name", kSenderKeyNameRoom - 1, msg::formats::SenderCrc2,
         [&](CKorvane& e, CFile* f, size_t n) { return forgeSender(e, f, "id", text(n)); }, readSender},
        {"recipient text", kRecipientTextRoom - 1, msg::formats::RecordCrc3,
         [&](CKorvane& e, CFile* f, size_t n) { return forgeRecipient(e, f, text(n), "k", 16); }, readRecipient},
        {"recipient key text", kRecipientKeyTextRoom - 1, msg::formats::RecordCrc3,
         [&](CKorvane& e, CFile* f, size_t n) { return forgeRecipient(e, f, "t", text(n), 16); }, readRecipient},
        {"wrapped key", kWrappedKeyRoom, msg::formats::RecordCrc3,
         [&](CKorvane& e, CFile* f, size_t n) { return forgeRecipient(e, f, "t", "k", n); }, readRecipient},
        {"signature", kTrailerSignatureRoom, msg::formats::TrailerCrc8,
         [&](CKorvane& e, CFile* f, size_t n) {
             ProtectedWriter w(e.Records(), f);
             int32_t flag = 0, length = static_cast<int32_t>(n);
             std::string sig = text(n);
             return w.Plain(&flag, 4) && w.Plain(&length, 4) && w.Plain(sig.data(), n) && w.Finish();
         },
         readTrailer},
    };
    for (const Case& c : cases) {
        for (size_t n : {c.cap, c.cap + 1}) {
            {
                CFile f = Create();
                ASSERT_TRUE(c.write(engine, &f, n)) << c.what;
            }
            for (bool quiet : {false, true}) {
                host.Clear();
                CFile f = Open();
                EXPECT_EQ(c.read(engine, &f, quiet), n == c.cap) << c.what << " " << n;
                if (n == c.cap || quiet) {
                    EXPECT_TRUE(host.Messages().empty()) << c.what << " " << n;
                } else {
                    EXPECT_EQ(host.MessageIds(), std::vector<std::string>{c.message.Id()}) << c.what;
                }
            }
        }
    }
    // The writers refuse what the readers would refuse.
    CFile f = Create();
    host.Clear();
    EXPECT_FALSE(WriteSenderRecord(engine.Records(), &f, text(kSenderIdentityRoom), "k"));
    EXPECT_FALSE(WriteRecipientRecord(engine.Records(), &f, "t", text(kRecipientKeyTextRoom), Bytes(16), 8));
    EXPECT_FALSE(WriteRecipientRecord(engine.Records(), &f, "t", "k", Bytes(kWrappedKeyRoom + 1), 8));
    EXPECT_FALSE(WriteSignatureTrailer(engine.Records(), &f, 0, Bytes(kTrailerSignatureRoom + 1)));
    EXPECT_EQ(host.MessageTexts(), std::vector<std::string>(4, "参数错"));
    EXPECT_EQ(f.GetLength(), 0u);
}
