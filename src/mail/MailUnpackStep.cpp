#include "mail/MailUnpackStep.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>
#include <new>

UnpackedMail UnpackMailPackage(CMailEncrypt& engine, CFile* file, CMemFile* memory) {
    UnpackedMail out;
    out.key = std::make_unique<DECRYPT_MAIL_KEY>();
    std::memset(out.key.get(), 0, sizeof *out.key);
    // One row per file the package announces; the engine never writes more. A package whose
    // count does not pass answers -1 and gets one row: the engine refuses it with its message.
    const int announced = engine.MailFileCount(file, memory);
    std::unique_ptr<char[][kMaxPath]> rows;
    try {
        rows.reset(new char[static_cast<size_t>(std::max(announced, 1))][kMaxPath]);
    } catch (const std::bad_alloc&) {
        out.outOfMemory = true;
        return out;
    }
    int count = 0;
    out.result = engine.DecryptMail(file, memory, rows.get(), count, out.key.get());
    OPENSSL_cleanse(out.key->Key, sizeof out.key->Key);
    OPENSSL_cleanse(out.key->IV, sizeof out.key->IV);
    for (int i = 0; i < count; ++i) out.files.emplace_back(rows[i], strnlen(rows[i], kMaxPath));
    return out;
}
