#include "MailUnpack.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "mail/MailEncrypt.h"

namespace fuzz {

void UnpackMail(const uint8_t* data, size_t size, bool fromMemory) {
    World& world = World::Get();
    world.LogOn(kRecipient);
    world.ClearMailFolder();
    const std::string path = world.Begin(data, size, "in.qlt");
    CMailEncrypt engine;
    CFile file;
    CMemFile memory;
    if (fromMemory) {
        memory.Attach(std::vector<unsigned char>(data, data + size));
    } else if (!file.Open(path, CFile::modeRead)) {
        std::abort();
    }
    CFile* pFile = fromMemory ? nullptr : &file;
    CMemFile* pMemory = fromMemory ? &memory : nullptr;
    const size_t rows = std::min(static_cast<size_t>(std::max(engine.MailFileCount(pFile, pMemory), 0)), size);
    std::vector<char> table((rows + 1) * kMaxPath, '#');
    auto key = std::make_unique<DECRYPT_MAIL_KEY>();
    std::memset(key.get(), 0, sizeof *key);
    int count = 0;
    engine.DecryptMail(pFile, pMemory, reinterpret_cast<char(*)[kMaxPath]>(table.data()), count, key.get());
    if (count < 0 || static_cast<size_t>(count) > rows ||
        !std::all_of(table.end() - kMaxPath, table.end(), [](char c) { return c == '#'; }))
        std::abort();
    world.CheckContained();
}

}  // namespace fuzz
