#pragma once
// The collection walk of password and envelope packages: behind the plain head a caller wrote,
// the block the package kind needs (key-check block, or sender and recipient records), then one
// plain record per folder and file found, in walk order. A directory record is written whenever
// the folder of the next item differs from the working path, so every file record belongs to
// the last directory record before it.
//
// The base folder and the working path are the engine's: they survive from one call to the
// next, as the walk of a path list is a series of calls.

#include <functional>
#include <string>

#include "formats/EncryptFlag.h"
#include "platform/CFile.h"

class CKorvane;

// Writes the block behind the head on the walk's first call (the package holds only the head
// and is positioned at its end). Has shown its message when it answers 0.
using HeadBlockWriter = std::function<int(CFile* package, const EncryptFlag& plainHead)>;

class PackageWalker {
public:
    PackageWalker(CKorvane& engine, char* baseFolder, char* workPath, HeadBlockWriter writeBlock)
        : m_engine(engine), m_baseFolder(baseFolder), m_workPath(workPath), m_writeBlock(std::move(writeBlock)) {}

    // Every path of a list of NUL-terminated paths ended by an empty one; stops at the first
    // failure. Sets *itemCount to the number of file records written.
    int WalkList(const char* pathList, CFile* package, int* recordStart, int* itemCount);
    // One path: a file, or a folder and everything below it. *recordStart is set behind the
    // head's block on the first call.
    int Walk(const char* path, CFile* package, int* recordStart, int* itemCount);

    // Reads the plain head a caller wrote; its base folder becomes the base folder and the
    // working path (with a separator).
    static int ReadPlainHead(CKorvane& engine, CFile* package, EncryptFlag* head, char* baseFolder, char* workPath);

    // Names, in one notice, the links and special files the last walk met inside a tree and
    // left out (CKorvane::m_leftOutEntries); nothing when there were none.
    static void ShowLeftOut(const CKorvane& engine);
    // The walk's failure ("搜索文件出错"), naming the path it stopped at (a path beyond the room
    // the walkers keep paths in, or a folder that cannot be listed in full), so the user knows
    // which one to move. Also the failure of the encrypt-in-place collection.
    // `error` (errno, 0 for none) adds the reason below the path.
    static void ShowSearchFailed(const std::string& path, int error = 0);

private:
    int AddDirectory(CFile* package, const std::string& folder);
    int AddFile(CFile* package, const std::string& folder, const std::string& name, int* itemCount);
    // Everything below a folder the walk holds open; `folder` is its path, with a separator.
    int WalkFolder(int folderFd, const std::string& folder, CFile* package, int* itemCount);

    CKorvane& m_engine;
    char* m_baseFolder;  // kMaxPath characters
    char* m_workPath;    // kMaxPath characters
    HeadBlockWriter m_writeBlock;
};
