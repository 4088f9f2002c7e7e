#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/CFile.h"

TEST(CFile, OpenFailureCarriesTheSystemText) {
    TempDir dir;
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(dir / "missing", CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    char text[8];
    EXPECT_EQ(error.GetErrorMessage(text, sizeof text), 1);
    EXPECT_STREQ(text, "No such");  // cut to the room given, terminated
    EXPECT_THROW(CFile(dir / "missing", CFile::modeRead), CFileException);
    EXPECT_FALSE(file.Open(dir.Path(), CFile::modeRead, &error)) << "a folder is not a file";
}

TEST(CFile, WritesBeyondFourGigabyteOffsetsAreNotTruncated) {
    TempDir dir;
    CFile file(dir / "sparse", CFile::modeCreate | CFile::modeReadWrite);
    const int64_t far = (int64_t{1} << 32) + 5;
    EXPECT_EQ(file.Seek(far, CFile::begin), static_cast<uint64_t>(far));
    file.Write("z", 1);
    EXPECT_EQ(file.GetLength(), static_cast<uint64_t>(far + 1));
}
