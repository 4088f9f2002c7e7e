#include "password/PackageListing.h"

#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "engine/Korvane.h"
#include "formats/EncryptFlag.h"
#include "formats/EnvelopeRecords.h"
#include "formats/Messages.h"
#include "formats/PackageRecordReader.h"
#include "formats/PackageRecords.h"
#include "platform/MessageBox.h"

int ListPackage(CKorvane& engine, const std::string& path, std::vector<PackageEntry>& entries) try {
    EngineCall call(engine.Context());
    entries.clear();
    CFile package;
    if (!CKorvane::OpenForReading(path.c_str(), package, 1)) return 0;
    EncryptFlag head;
    if (!engine.ReadEncryptedFileHead(&package, &head, msg::formats::HeadCrc1.text)) return 0;
    if (head.kind == kKindEnvelope || head.kind == kKindShared) {
        // The sender and recipient records stand between the head and the package records.
        if (!engine.CheckEncryptedFileHead(head, kEnvelopeHeadRules)) return 0;
        if (head.count < 0 || static_cast<size_t>(head.count) > kMaxRecipients) {
            ShowMessage(msg::formats::StructureError);
            return 0;
        }
        auto blocks = std::make_unique<EnvelopeBlocks>();
        if (!ReadEnvelopeBlocks(engine.Records(), &package, IsVersion10(head), static_cast<size_t>(head.count),
                                *blocks))
            return 0;
    } else {
        std::vector<unsigned char> check, iv;
        if (!engine.CheckEncryptedFileHead(head, kPasswordHeadRules) ||
            !ReadKeyCheckBlock(engine.Records(), &package, check, iv))
            return 0;
    }
    PackageRecordReader reader(engine.Records(), &package, IsVersion10(head));
    PackageRecord record;
    std::string folder;
    // A folder record also takes the walk back into a folder after its subfolders: it is the
    // same folder again, listed once.
    std::set<std::string> listed;
    for (;;) {
        if (!reader.Next(record)) return 0;
        if (record.type == kRecordEnd) return 1;
        PackageEntry entry;
        if (record.type == kRecordDirectory) {
            folder = record.name;
            if (folder.empty() || !listed.insert(folder).second) continue;
            entry.folder = true;
            entry.path = folder;
        } else {
            entry.path = folder + record.name;
            entry.size = record.size;
            entry.modified = record.modified;
            entry.attributes = record.attributes;
        }
        entries.push_back(std::move(entry));
    }
} catch (...) {
    return EntryFailed(engine.Context(), 0);
}
