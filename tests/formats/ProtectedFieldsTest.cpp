#include <gtest/gtest.h>

#include "TestSupport.h"
#include "engine/Korvane.h"
#include "formats/ProtectedFields.h"

class ProtectedFields : public HostTest {
protected:
    // A record as directory records are laid out: type, zero, name length, name, CRC.
    void WriteRecord(const std::string& name) {
        CFile file(dir / "rec", CFile::modeCreate | CFile::modeWrite);
        ProtectedWriter w(engine, &file);
        ASSERT_TRUE(w.I32(10) && w.I32(0) && w.I32(static_cast<int32_t>(name.size())) &&
                    w.Field(name.data(), name.size()) && w.Finish());
    }
    // Reads the record back; returns the name, or "!crc" / "!long" / "!read".
    std::string ReadRecord(size_t cap = 260) {
        CFile file(dir / "rec", CFile::modeRead);
        ProtectedReader r(engine, &file);
        int32_t type = 0, zero = 0, length = 0;
        std::string name;
        if (!(r.I32(type) && r.I32(zero) && r.I32(length))) return "!read";
        auto text = r.String(length, cap, name);
        if (text == ProtectedReader::Text::kTooLong) return "!long";
        if (text != ProtectedReader::Text::kOk) return "!read";
        bool matches = false;
        if (!r.CheckCrc(true, &matches)) return "!read";
        return matches && type == 10 && zero == 0 ? name : "!crc";
    }
    CKorvane engine;
};

TEST_F(ProtectedFields, LengthBeyondTheReadersRoomIsRefusedBeforeReading) {
    WriteRecord(std::string(259, 'n'));
    EXPECT_EQ(ReadRecord(), std::string(259, 'n'));
    WriteRecord(std::string(260, 'n'));
    EXPECT_EQ(ReadRecord(), "!long");
    EXPECT_TRUE(host.Messages().empty()) << "the caller shows its own structure message";
}
