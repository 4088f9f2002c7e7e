// The head and record layouts on their own, with nothing of the engine object: the head read and
// unsealed, then the record list behind it (and, for envelope packages, the sender and
// recipient records first) read through the engine's record I/O alone.

#include "FuzzSupport.h"
#include "engine/CheckedRecordIo.h"
#include "formats/EncryptFlag.h"
#include "formats/EnvelopeRecords.h"
#include "formats/PackageRecordReader.h"
#include "formats/PackageRecords.h"
#include "platform/CFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::World& world = fuzz::World::Get();
    const std::string path = world.Begin(data, size, "in.pkg");
    CheckedRecordIo io;
    CFile file;
    if (!file.Open(path.c_str(), CFile::modeRead | CFile::shareDenyNone)) return 0;
    EncryptFlag head;
    if (ReadHead(io, &file, head, "crc")) {
        const bool oldLayout = IsVersion10(head);
        bool ok = true;
        if (head.kind == kKindPassword) {
            std::vector<unsigned char> check, iv;
            ok = ReadKeyCheckBlock(io, &file, check, iv);
        } else if (head.kind == kKindEnvelope || head.kind == kKindShared) {
            EnvelopeBlocks blocks;
            ok = head.count >= 0 && static_cast<size_t>(head.count) <= kMaxRecipients &&
                 ReadEnvelopeBlocks(io, &file, oldLayout, static_cast<size_t>(head.count), blocks);
        }
        PackageRecordReader reader(io, &file, oldLayout);
        PackageRecord record;
        for (int i = 0; ok && i < 100000 && reader.Next(record) && record.type != kRecordEnd; ++i) {
        }
    }
    file.Abort();
    world.CheckContained();
    return 0;
}
