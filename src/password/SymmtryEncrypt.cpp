// The encryption pass of a password package: the package layer's seal pass with the package's
// content key, no signature, and an end record whose second field is 0.

#include <cstring>

#include "engine/Korvane.h"
#include "formats/EncryptArgs.h"
#include "package/SealPass.h"

int CKorvane::SymmtryEncryptFiles(CFile* package, int recordStart, const Encrypt_Data& data) try {
    EngineCall call(m_context);
    if (package == nullptr) return 0;
    ContentKey key(data);
    SealPlan plan;
    plan.key = &key;
    plan.itemCount = data.itemCount;
    plan.notifyWindow = data.notifyWindow;
    return SealPackage(*this, m_baseFolder, m_workPath, package, recordStart, plan);
} catch (...) {
    return EntryFailed(m_context, 0);
}
