#include "formats/EnvelopeRecords.h"

#include <cstring>

#include "formats/Messages.h"
#include "formats/PackageRecords.h"
#include "formats/ProtectedFields.h"
#include "platform/MessageBox.h"

namespace {

bool Refuse() {
    ShowMessage(msg::formats::BadArgument);
    return false;
}

// Shows a damaged record's message unless the reader is quiet; always false.
bool Damaged(bool quiet, const MessageDef& message) {
    if (!quiet) ShowMessage(message);
    return false;
}

bool FitsText(std::string_view text, size_t room) { return text.size() < room; }

// A length read from the file, checked against its room (a text leaves room for its terminator)
// before anything is read into it.
bool LengthFits(int32_t length, size_t room, bool text) {
    return length >= 0 && static_cast<size_t>(length) < room + (text ? 0 : 1);
}

bool ReadText(ProtectedReader& reader, int32_t& length, char* room, size_t roomSize, bool* fits) {
    *fits = true;
    if (!reader.I32(length)) return false;
    if (!LengthFits(length, roomSize, true)) {
        *fits = false;
        return false;
    }
    if (!reader.Field(room, static_cast<size_t>(length))) return false;
    room[length] = '\0';
    return true;
}

bool ReadBytes(ProtectedReader& reader, int32_t length, unsigned char* room, size_t roomSize, bool* fits) {
    *fits = LengthFits(length, roomSize, false);
    return *fits && reader.Field(room, static_cast<size_t>(length));
}

// Ends a record read: the stored CRC must match the fields read.
bool CheckRecordCrc(ProtectedReader& reader, uint16_t* crc, bool quiet, const MessageDef& message) {
    bool matches = false;
    if (!reader.CheckCrc(true, &matches, crc)) return false;
    return matches || Damaged(quiet, message);
}

}  // namespace

bool WriteSenderRecord(RecordIo& io, CFile* file, std::string_view identity, std::string_view keyName) {
    if (!FitsText(identity, kSenderIdentityRoom) || !FitsText(keyName, kSenderKeyNameRoom)) return Refuse();
    ProtectedWriter record(io, file);
    return record.I32(static_cast<int32_t>(identity.size())) && record.Field(identity.data(), identity.size()) &&
           record.I32(static_cast<int32_t>(keyName.size())) && record.Field(keyName.data(), keyName.size()) &&
           record.Finish();
}

bool WriteRecipientRecord(RecordIo& io, CFile* file, std::string_view text, std::string_view keyText,
                          std::span<const unsigned char> wrapped, int32_t ivLength) {
    if (!FitsText(text, kRecipientTextRoom) || !FitsText(keyText, kRecipientKeyTextRoom) || wrapped.empty() ||
        wrapped.size() > kWrappedKeyRoom || ivLength < 0)
        return Refuse();
    ProtectedWriter record(io, file);
    return record.I32(static_cast<int32_t>(text.size())) && record.Field(text.data(), text.size()) &&
           record.I32(static_cast<int32_t>(keyText.size())) && record.Field(keyText.data(), keyText.size()) &&
           record.I32(static_cast<int32_t>(wrapped.size())) && record.I32(ivLength) &&
           record.Field(wrapped.data(), wrapped.size()) && record.Finish();
}

bool WriteSignatureTrailer(RecordIo& io, CFile* file, int32_t digestOnly, std::span<const unsigned char> signature) {
    if (signature.size() > kTrailerSignatureRoom) return Refuse();
    const int32_t length = static_cast<int32_t>(signature.size());
    ProtectedWriter record(io, file);
    return record.Plain(&digestOnly, sizeof digestOnly) && record.Plain(&length, sizeof length) &&
           record.Plain(signature.data(), signature.size()) && record.Finish();
}

bool ReadSenderRecord(RecordIo& io, CFile* file, Verify_IndexInfo& out, bool quiet) {
    std::memset(&out, 0, sizeof out);
    ProtectedReader reader(io, file, quiet);
    bool fits = true;
    if (!ReadText(reader, out.identityLength, out.identity, sizeof out.identity, &fits) ||
        !ReadText(reader, out.senderKeyNameLength, out.senderKeyName, sizeof out.senderKeyName, &fits))
        return fits ? false : Damaged(quiet, msg::formats::SenderCrc2);
    return CheckRecordCrc(reader, &out.crc, quiet, msg::formats::SenderCrc2);
}

bool ReadRecipientRecord(RecordIo& io, CFile* file, bool oldLayout, Decrypt_Info& out, bool quiet) {
    std::memset(&out, 0, sizeof out);
    ProtectedReader reader(io, file, quiet);
    bool fits = true;
    if (!ReadText(reader, out.recipientTextLength, out.recipientText, sizeof out.recipientText, &fits) ||
        !ReadText(reader, out.keyTextLength, out.keyText, sizeof out.keyText, &fits) || !reader.I32(out.wrappedLength))
        return fits ? false : Damaged(quiet, msg::formats::RecordCrc3);
    bool read = false;
    if (oldLayout) {
        read = ReadBytes(reader, out.wrappedLength, out.wrapped, sizeof out.wrapped, &fits) &&
               reader.I32(out.vectorLength) &&
               ReadBytes(reader, out.vectorLength, out.vector, sizeof out.vector, &fits);
    } else if (reader.I32(out.vectorLength)) {
        // The IV lies inside the wrapped block: it can be no longer than the block.
        fits = out.vectorLength >= 0 && out.vectorLength <= out.wrappedLength;
        read = fits && ReadBytes(reader, out.wrappedLength, out.wrapped, sizeof out.wrapped, &fits);
    }
    if (!read) return fits ? false : Damaged(quiet, msg::formats::RecordCrc3);
    return CheckRecordCrc(reader, &out.crc, quiet, msg::formats::RecordCrc3);
}

bool ReadSignatureTrailer(RecordIo& io, CFile* file, bool oldLayout, SignatureTrailer& out, bool quiet) {
    out.digestOnly = 0;
    out.signatureLength = 0;
    out.crc = 0;
    ProtectedReader reader(io, file, quiet);
    if (!oldLayout && !reader.Plain(&out.digestOnly, sizeof out.digestOnly)) return false;
    if (!reader.Plain(&out.signatureLength, sizeof out.signatureLength)) return false;
    if (!LengthFits(out.signatureLength, sizeof out.signature, false)) return Damaged(quiet, msg::formats::TrailerCrc8);
    if (!reader.Plain(out.signature, static_cast<size_t>(out.signatureLength))) return false;
    return CheckRecordCrc(reader, &out.crc, quiet, msg::formats::TrailerCrc8);
}

bool ReadEnvelopeBlocks(RecordIo& io, CFile* file, bool oldLayout, size_t count, EnvelopeBlocks& out, bool quiet) {
    if (count > kMaxRecipients) return Damaged(quiet, msg::formats::StructureError);
    if (!ReadSenderRecord(io, file, out.sender, quiet)) return false;
    out.recipients.assign(count, Decrypt_Info{});
    for (Decrypt_Info& recipient : out.recipients)
        if (!ReadRecipientRecord(io, file, oldLayout, recipient, quiet)) return false;
    return true;
}
