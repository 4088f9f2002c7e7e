#pragma once
// The damaged-file generator: a valid secured file made at test time, the places of its
// records as the layout's own readers find them, and copies of it with one fault each.
//
// Every record of these layouts ends with a plain CRC over its stored bytes, and every sealed
// field is enciphered on its own by a length-preserving cipher that depends only on the key and
// the field's content. So one field can be given a new value (enciphered the same way) and
// the record's CRC sealed again: the copy is damaged in exactly that field and nowhere else.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "formats/EncryptFlag.h"
#include "mail/MailLayout.h"

// One record: its stored bytes [begin, crcAt), then its 2-byte CRC.
struct RecordSpan {
    std::string name;  // "head", "key check", "directory", "file", "end", "sender", ...
    size_t begin = 0;
    size_t crcAt = 0;
    size_t End() const { return crcAt + 2; }
};

enum class SecuredKind { kPassword, kEnvelope, kSignature, kMail };

class DamagedFile {
public:
    // Reads the records of `valid` (a file of `kind`, at `path`) with the readers of its kind.
    DamagedFile(SecuredKind kind, const std::string& path);
    // One block as a layout's writer made it, its CRC last.
    explicit DamagedFile(const std::string& block) : m_valid(block), m_records{{"block", 0, block.size() - 2}} {}

    const std::string& Valid() const { return m_valid; }
    const std::vector<RecordSpan>& Records() const { return m_records; }
    // The nth record of that name (0 first); a missing record fails the test.
    const RecordSpan& Record(const std::string& name, int nth = 0) const;

    // The sealed 4-byte value at `offset` in the record (to find fields behind a length).
    int32_t I32(const RecordSpan& record, size_t offset) const;

    // ---- Faults, each on a copy of the valid file
    std::string Cut(size_t length) const { return m_valid.substr(0, length); }
    std::string FlipCrc(const RecordSpan& record) const;
    std::string FlipByte(size_t at) const;
    // The field of `size` bytes at `offset` in the record, replaced by `plain` (sealed unless
    // `sealed` is false; it may differ in size), the record's CRC sealed again.
    std::string SetField(const RecordSpan& record, size_t offset, size_t size, const std::string& plain,
                         bool sealed = true) const;
    std::string SetI32(const RecordSpan& record, size_t offset, int32_t value, bool sealed = true) const;
    // The 300-byte head changed through the engine's own head reader and writer.
    std::string WithHead(const std::function<void(EncryptFlag&)>& change) const;
    // The mail header's sealed block changed and sealed again.
    std::string WithMailHeader(const std::function<void(MailHeader&)>& change) const;

private:
    // The record list behind the head (and key-check block); answers the end record's second field.
    int32_t FindPackageRecords(class CKorvane& e, class CFile& f, bool keyCheck);
    void Find(SecuredKind kind, const std::string& path);
    void FindMailRecords(CKorvane& e, CFile& f);
    void Add(const std::string& name, size_t begin, size_t end) { m_records.push_back({name, begin, end - 2}); }
    std::string Sealed(const std::string& plain) const;
    static void Reseal(std::string& bytes, size_t begin, size_t crcAt);

    std::string m_valid;
    std::vector<RecordSpan> m_records;
};
