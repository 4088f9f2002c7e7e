#pragma once
// Reads the sealed records of a password or envelope package's record list, one at a time,
// checking each record's CRC (the end record's included), every length against the room it
// fills, and every name against leaving the output folder. Each failure has shown its one
// message when Next() returns false.

#include <cstdint>
#include <string>

#include "formats/PackageRecords.h"

class CKorvane;
class CFile;

class PackageRecordReader {
public:
    // `oldLayout`: version "10" file records have no second time. A `quiet` reader shows
    // nothing (the security information reads damaged files without a word).
    PackageRecordReader(CKorvane& engine, CFile* package, bool oldLayout, bool quiet = false)
        : m_engine(engine), m_package(package), m_oldLayout(oldLayout), m_quiet(quiet) {}
    // Reads the record at the package's position. A type with none of the known bits is a
    // structure error.
    bool Next(PackageRecord& record);
    // Reads an end record at the package's position: any other type is a structure error, a
    // CRC mismatch shows crcMessage (when not null).
    bool ReadEnd(int32_t* second, const char* crcMessage);

private:
    bool FinishEnd(class ProtectedReader& reader, const char* crcMessage);
    bool ReadDirectory(class ProtectedReader& reader, PackageRecord& record);
    bool ReadFile(class ProtectedReader& reader, PackageRecord& record);
    bool ReadName(class ProtectedReader& reader, int32_t length, std::string& out);
    bool Fail(const char* message) const;

    CKorvane& m_engine;
    CFile* m_package;
    bool m_oldLayout;
    bool m_quiet;
};
