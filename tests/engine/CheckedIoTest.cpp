#include <gtest/gtest.h>

#include "TestSupport.h"
#include "engine/Korvane.h"
#include "platform/MessageBox.h"

class CheckedIo : public HostTest {
protected:
    CKorvane engine;
};

TEST_F(CheckedIo, ExactReadPastTheEndFailsOnceNonExactReturnsWhatIsThere) {
    WriteFile(dir / "f", "abcdef");
    CFile file(dir / "f", CFile::modeRead);
    char buf[4];
    unsigned long got = 99;
    file.Seek(4, CFile::begin);
    EXPECT_EQ(engine.fReadBuf(&file, buf, 4, &got, 1), 0);
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text, "文件可能被修改，读文件错,");
    EXPECT_EQ(host.Messages()[0].type & MB_ICONMASK, 0u);

    host.Clear();
    file.Seek(4, CFile::begin);
    EXPECT_EQ(engine.fReadBuf(&file, buf, 4, &got, 0), 1);
    EXPECT_EQ(got, 2u);
    EXPECT_EQ(std::string(buf, 2), "ef");
    // At the end a non-exact read of nothing is still a success.
    EXPECT_EQ(engine.fReadBuf(&file, buf, 4, &got, 0), 1);
    EXPECT_EQ(got, 0u);
    EXPECT_TRUE(host.Messages().empty());
}

TEST_F(CheckedIo, ReadAndWriteErrorsShowTheSystemTextWithStopIcon) {
    WriteFile(dir / "f", "abc");
    CFile readOnly(dir / "f", CFile::modeRead);
    EXPECT_EQ(engine.fWriteBuf(&readOnly, "x", 1), 0);
    CFile writeOnly(dir / "f", CFile::modeWrite);
    char buf[2];
    unsigned long got = 0;
    EXPECT_EQ(engine.fReadBuf(&writeOnly, buf, 2, &got, 0), 0);
    ASSERT_EQ(host.Messages().size(), 2u);
    EXPECT_EQ(host.Messages()[0].text, "写文件出错.\n\nBad file descriptor");
    EXPECT_EQ(host.Messages()[1].text, "读文件出错.\n\nBad file descriptor");
    for (const auto& m : host.Messages()) EXPECT_EQ(m.type & MB_ICONMASK, MB_ICONSTOP);
}

TEST_F(CheckedIo, FailedSeekShowsTheWritingTextWithOneLineBreak) {
    WriteFile(dir / "f", "abc");
    CFile file(dir / "f", CFile::modeRead);
    EXPECT_EQ(engine.fSeek(&file, -10, CFile::begin), 0);
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_EQ(host.Messages()[0].text, "写文件出错.\nInvalid argument");
    EXPECT_EQ(host.Messages()[0].type & MB_ICONMASK, MB_ICONSTOP);

    file.Abort();
    host.Clear();
    EXPECT_EQ(engine.fSeekToEnd(&file), 0);
    EXPECT_EQ(engine.fSeekToBegin(&file), 0);
    EXPECT_EQ(host.Messages().size(), 2u);
}
