#include "package/ContentStream.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "dialogs/MessagePump.h"
#include "engine/Crc16.h"
#include "engine/Korvane.h"
#include "engine/Messages.h"
#include "formats/EncryptArgs.h"
#include "formats/PackageRecords.h"
#include "package/BlockPipe.h"
#include "package/OpenCipher.h"
#include "platform/MessageBox.h"
#include "platform/UiHost.h"

ContentKey::ContentKey(const Encrypt_Data& data) : cipherId(data.cipherId) {
    std::memcpy(key, data.key, sizeof key);
    std::memcpy(iv, data.iv, sizeof iv);
}

ContentKey::ContentKey(const unsigned char* keyBytes, size_t keyLength, const unsigned char* ivBytes, size_t ivLength,
                       int cipher)
    : cipherId(cipher) {
    std::memcpy(key, keyBytes, std::min(keyLength, sizeof key));
    std::memcpy(iv, ivBytes, std::min(ivLength, sizeof iv));
}

namespace {

// Room for what a cipher's final releases: a card's held-back block.
constexpr size_t kFinalRoom = 64;

int ShowPipeFailure(const BlockPipe& pipe) {
    pipe.ShowFailure();
    return 0;
}

}  // namespace

ContentStream::ContentStream(CKorvane& engine, Digest digest, const ContentRules& rules)
    : m_engine(engine), m_digest(digest), m_rules(rules) {
    if (m_digest == Digest::kSign)
        m_digestThread = std::make_unique<DigestThread>([this](const unsigned char* data, size_t length) {
            m_engine.Evp_SignUpdate(data, static_cast<unsigned>(length));
        });
    if (m_digest == Digest::kVerify)
        m_digestThread = std::make_unique<DigestThread>([this](const unsigned char* data, size_t length) {
            m_engine.Evp_VerifyUpdate(data, static_cast<unsigned>(length));
        });
}

ContentStream::~ContentStream() = default;

void ContentStream::Feed(const unsigned char* plain, int length) {
    if (length > 0 && m_digestThread) m_digestThread->Feed(plain, static_cast<size_t>(length));
}

void ContentStream::FinishDigest() {
    if (m_digestThread) m_digestThread->Wait();
}

namespace {

// A content call that fails leaves the digest complete: nothing of it runs on behind the
// failure's message. One that succeeds leaves it running beside the next file.
struct DigestOnFailure {
    ContentStream& stream;
    bool succeeded = false;
    ~DigestOnFailure() {
        if (!succeeded) stream.FinishDigest();
    }
};

}  // namespace

// Every package keeps a content's start within 1,500,000,000 bytes and its length in 31 bits;
// in mail packages its end must be a 32-bit offset too.
bool ContentStream::Fits(uint64_t start, uint64_t total) const {
    if (!ContentFits(static_cast<int64_t>(start), total)) return false;
    return !m_rules.endIsOffset || total <= INT32_MAX - start;
}

bool ContentStream::Transform(bool encrypt, unsigned char* out, int* produced, const unsigned char* in, int length) {
    if (!m_streamed) {
        return encrypt ? m_engine.Evp_EncryptUpdate(out, produced, in, length) != 0
                       : m_engine.Evp_DecryptUpdate(out, produced, in, length) != 0;
    }
    *produced = length;
    if (m_keyStream.Apply(out, in, static_cast<size_t>(length))) return true;
    ShowMessage(encrypt ? msg::engine::DataEncryptFailed : msg::engine::DataDecryptFailed);
    return false;
}

int ContentStream::Encrypt(const ContentKey* key, CFile& source, CFile* package, ContentPlace* place) {
    DigestOnFailure digestOnFailure{*this};
    if (!m_engine.fSeekToEnd(package)) return 0;
    const uint64_t start = package->GetPosition();
    const uint64_t size = source.GetLength();
    if (!Fits(start, size)) {
        ShowMessage(*m_rules.tooLarge);
        return 0;
    }
    m_streamed = key != nullptr && m_keyStream.Start(*key, size);
    if (key != nullptr && !m_streamed && !m_engine.Evp_EncryptInit(key->key, key->iv, key->cipherId)) return 0;
    OpenCipher cipher(m_engine, OpenCipher::kEncrypt);
    if (key == nullptr || m_streamed) cipher.Finished();
    // The CRC over what is stored is kept by the pipe, on its own thread.
    BlockPipe pipe(m_ring, source, size, false, package, BlockPipe::CrcOf::kPut);
    uint64_t total = 0;
    for (;;) {
        PipeBlock block;
        if (!pipe.Next(block)) return ShowPipeFailure(pipe);
        const auto got = static_cast<int>(block.length);
        int produced = got;
        const unsigned char* stored = block.in;
        if (got > 0) {
            Feed(block.in, got);
            if (key != nullptr) {
                if (!Transform(true, block.out, &produced, block.in, got)) return 0;
                stored = block.out;
            }
            total += static_cast<uint64_t>(produced);
            // The source may have grown since its size was checked.
            if (!Fits(start, total)) {
                ShowMessage(*m_rules.tooLarge);
                return 0;
            }
        }
        if (!pipe.Put(block, stored, static_cast<unsigned long>(produced))) return ShowPipeFailure(pipe);
        UiHost().WorkDone(block.length);
        if (UiHost().StopRequested()) return 0;
        if (block.length < kStreamBlockSize) break;
        DoEvents();
    }
    if (!pipe.Finish()) return ShowPipeFailure(pipe);
    uint16_t crc = pipe.CrcRegister();
    if (key != nullptr && !m_streamed) {
        unsigned char rest[kFinalRoom];
        int produced = 0;
        cipher.Finished();
        if (!m_engine.Evp_EncryptFinalEx(rest, &produced)) return 0;
        if (produced > 0) {
            total += static_cast<uint64_t>(produced);
            if (!Fits(start, total)) {
                ShowMessage(*m_rules.tooLarge);
                return 0;
            }
            crc = Crc16Update(crc, rest, static_cast<size_t>(produced));
            if (!m_engine.fWriteBuf(package, rest, static_cast<unsigned long>(produced))) return 0;
        }
    }
    place->offset = static_cast<int32_t>(start);
    place->length = static_cast<int32_t>(total);
    place->crc = Crc16Final(crc);
    digestOnFailure.succeeded = true;
    return 1;
}

namespace {

// The plaintext a cipher's final releases, wiped however the call ends.
struct FinalBlock {
    unsigned char bytes[kFinalRoom];
    ~FinalBlock() { OPENSSL_cleanse(bytes, sizeof bytes); }
};

}  // namespace

int ContentStream::Decrypt(const ContentKey* key, CFile* package, const ContentPlace& place, CFile* output,
                           uint16_t* crcOut) {
    DigestOnFailure digestOnFailure{*this};
    const uint64_t length = place.length > 0 ? static_cast<uint64_t>(place.length) : 0;
    m_streamed = key != nullptr && m_keyStream.Start(*key, length);
    if (key != nullptr && !m_streamed && !m_engine.Evp_DecryptInit(key->key, key->iv, key->cipherId)) return 0;
    OpenCipher cipher(m_engine, OpenCipher::kDecrypt);
    if (key == nullptr || m_streamed) cipher.Finished();
    if (!m_engine.fSeek(package, place.offset, CFile::begin)) return 0;
    // The CRC over what is read is kept by the pipe, on its own thread.
    BlockPipe pipe(m_ring, *package, length, true, output, BlockPipe::CrcOf::kRead);
    for (uint64_t left = length; left > 0;) {
        const auto want = static_cast<unsigned long>(std::min<uint64_t>(left, kStreamBlockSize));
        PipeBlock block;
        if (!pipe.Next(block)) return ShowPipeFailure(pipe);
        if (block.length < want) {
            ShowMessage(*m_rules.dataShort);
            return 0;
        }
        const auto got = static_cast<int>(block.length);
        int produced = got;
        const unsigned char* plain = block.in;
        if (key != nullptr) {
            if (!Transform(false, block.out, &produced, block.in, got)) return 0;
            plain = block.out;
        }
        Feed(plain, produced);
        if (!pipe.Put(block, plain, static_cast<unsigned long>(produced))) return ShowPipeFailure(pipe);
        left -= block.length;
        UiHost().WorkDone(block.length);
        if (UiHost().StopRequested()) return 0;
        DoEvents();
    }
    if (!pipe.Finish()) return ShowPipeFailure(pipe);
    const uint16_t crc = pipe.CrcRegister();
    if (key != nullptr && !m_streamed) {
        FinalBlock rest;
        int produced = 0;
        cipher.Finished();
        if (!m_engine.Evp_DecryptFinal(rest.bytes, &produced)) return 0;
        Feed(rest.bytes, produced);
        if (output && produced > 0 && !m_engine.fWriteBuf(output, rest.bytes, static_cast<unsigned long>(produced)))
            return 0;
    }
    *crcOut = Crc16Final(crc);
    digestOnFailure.succeeded = true;
    return 1;
}
