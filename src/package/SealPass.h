#pragma once
// The encryption pass of password and envelope packages over a walked package: protects the
// head, then goes through the plain record list, appends every file's ciphertext at the end of
// the package and rewrites every record in place, sealed, up to and including the end record.

#include <functional>

#include "package/ContentStream.h"
#include "platform/CFile.h"
#include "platform/Window.h"

class CKorvane;

struct SealPlan {
    const ContentKey* key = nullptr;
    int itemCount = 0;  // file records: the 100 % mark of progress and the head's item count
    HWND notifyWindow = nullptr;
    bool showProgress = true;  // the pass's own progress window
    ContentStream::Digest digest = ContentStream::Digest::kNone;
    // Called at the end record, before it is sealed: writes what follows the contents (the
    // package is positioned at its end) and answers the end record's second field. Without it
    // the second field is 0.
    std::function<int(CFile* package, int32_t* second)> finish;
};

// 1 when the end record was reached and sealed; 0 after the failure's message.
int SealPackage(CKorvane& engine, char* baseFolder, char* workPath, CFile* package, int recordStart,
                const SealPlan& plan);
