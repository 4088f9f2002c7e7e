// The security information of any secured file, and the property page lines made from it.

#include "FuzzSupport.h"
#include "engine/Korvane.h"
#include "shell/SecurityPage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::World& world = fuzz::World::Get();
    const std::string path = world.Begin(data, size, "in.vrk");
    CKorvane engine;
    SecurityPageLines(ReadFileSecurity(engine, path));
    world.CheckContained();
    return 0;
}
