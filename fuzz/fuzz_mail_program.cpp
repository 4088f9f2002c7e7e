// Mail packages unpacked by their recipient as `varnex mail-unpack` does it: the program's own
// step, rows sized from the count the package announces, then the engine.

#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "mail/MailUnpackStep.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::World& world = fuzz::World::Get();
    world.LogOn(fuzz::kRecipient);
    world.ClearMailFolder();
    const std::string path = world.Begin(data, size, "in.qlt");
    CMailEncrypt engine;
    CFile file;
    if (!file.Open(path, CFile::modeRead)) std::abort();
    const UnpackedMail got = UnpackMailPackage(engine, &file, nullptr);
    // Every file written needs an index entry of its own in the input.
    if (got.outOfMemory || got.files.size() > size) std::abort();
    world.CheckContained();
    return 0;
}
