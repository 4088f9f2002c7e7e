// The head's one writer and one reader: each protected field enciphered on its own, a CRC over
// the stored bytes. What a reader accepts of a deciphered head is the engine's to check
// (CKorvane::CheckEncryptedFileHead), against the identifiers it supports.

#include "formats/EncryptFlag.h"

#include "formats/Messages.h"
#include "formats/RecordIo.h"
#include "platform/CFile.h"
#include "platform/MessageBox.h"

namespace {

unsigned char* FieldAt(EncryptFlag& head, const HeadField& f) {
    return reinterpret_cast<unsigned char*>(&head) + f.offset;
}

void FeedCrc(RecordIo& io, EncryptFlag& head) {
    io.CrcInit();
    for (const HeadField& f : kProtectedHeadFields) io.CrcUpdate(FieldAt(head, f), f.size);
}

}  // namespace

bool SealHead(RecordIo& io, EncryptFlag& head) {
    // Any field left plain would make a head no reader can open: stop at the first failure.
    for (const HeadField& f : kProtectedHeadFields)
        if (!io.Seal(FieldAt(head, f), f.size)) return false;
    FeedCrc(io, head);
    head.headCrc = io.CrcFinal();
    return true;
}

bool UnsealHead(RecordIo& io, EncryptFlag& head, const char* crcMessage) {
    FeedCrc(io, head);
    if (!io.CrcMatches(head.headCrc)) {
        if (crcMessage) ShowMessage(FindMessage(msg::formats::kTable, crcMessage));
        return false;
    }
    for (const HeadField& f : kProtectedHeadFields)
        if (!io.Unseal(FieldAt(head, f), f.size)) return false;
    return true;
}

bool WriteHead(RecordIo& io, CFile* file, const EncryptFlag& plainHead) {
    EncryptFlag sealed = plainHead;
    return SealHead(io, sealed) && io.Seek(file, 0, CFile::begin) && io.Write(file, &sealed, sizeof sealed);
}

bool ReadHead(RecordIo& io, CFile* file, EncryptFlag& head, const char* crcMessage) {
    EncryptFlag stored;
    // Too short to hold a head: no secured file at all, not one that failed to read.
    if (file->GetLength() < sizeof stored) {
        ShowMessage(msg::formats::NotSecured);
        return false;
    }
    if (!io.Seek(file, 0, CFile::begin) || !io.Read(file, &stored, sizeof stored, nullptr, true)) return false;
    if (!UnsealHead(io, stored, crcMessage)) return false;
    head = stored;
    return true;
}
