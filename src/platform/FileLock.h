#pragma once
// A file held open under an exclusive lock, for as long as its owner lives: two processes that
// both take it work on the file one after the other.

#include "platform/UniqueFd.h"

class ExclusiveFileLock {
public:
    // Opens the file at path (never through a final link) and waits for its lock. False only
    // when the file is gone: no longer at path, or it lost its last name while this waited
    // (someone else has removed it); a file that cannot be opened otherwise gives true and no
    // descriptor (Fd() is -1).
    bool Take(const char* path);
    // The held file (-1 when it could not be opened).
    int Fd() const { return m_fd.Get(); }

private:
    UniqueFd m_fd;
};
