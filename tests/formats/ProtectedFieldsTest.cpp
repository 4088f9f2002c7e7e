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

TEST_F(ProtectedFields, RecordRoundTripsAndStoredBytesAreEnciphered) {
    WriteRecord("Sub\\Deep\\");
    std::string stored = ReadFile(dir / "rec");
    ASSERT_EQ(stored.size(), 4 + 4 + 4 + 9 + 2u);
    EXPECT_EQ(stored.find("Sub"), std::string::npos);
    EXPECT_EQ(ReadRecord(), "Sub\\Deep\\");
}

TEST_F(ProtectedFields, AnyChangedStoredByteFailsTheCrcOrTheRead) {
    WriteRecord("folder\\");
    std::string good = ReadFile(dir / "rec");
    for (size_t i = 0; i < good.size(); ++i) {
        std::string bad = good;
        bad[i] = static_cast<char>(bad[i] ^ 0x01);
        WriteFile(dir / "rec", bad);
        host.Clear();
        EXPECT_NE(ReadRecord(), "folder\\") << "byte " << i;
    }
}

TEST_F(ProtectedFields, LengthBeyondTheReadersRoomIsRefusedBeforeReading) {
    WriteRecord(std::string(259, 'n'));
    EXPECT_EQ(ReadRecord(), std::string(259, 'n'));
    WriteRecord(std::string(260, 'n'));
    EXPECT_EQ(ReadRecord(), "!long");
    EXPECT_TRUE(host.Messages().empty()) << "the caller shows its own structure message";
}

TEST_F(ProtectedFields, TruncatedRecordFailsWithTheExactReadMessage) {
    WriteRecord("abc\\");
    std::string good = ReadFile(dir / "rec");
    WriteFile(dir / "rec", good.substr(0, 10));
    EXPECT_EQ(ReadRecord(), "!read");
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text, "文件可能被修改，读文件错,");
}
