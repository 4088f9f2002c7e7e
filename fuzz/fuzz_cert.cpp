// Certificate files (PEM or DER) imported into the store, under a name of their own and under
// the name they hold.

#include <string>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::World& world = fuzz::World::Get();
    const std::string path = world.Begin(data, size, "in.pem");
    std::string installed;
    world.store.ImportCert(path, "fuzzed", installed);
    world.store.ImportCert(path, "", installed);
    world.CheckContained();
    return 0;
}
