// Signature files read and verified against the file they describe, made beside them.

#include <fstream>

#include "FuzzSupport.h"
#include "engine/Korvane.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::World& world = fuzz::World::Get();
    const std::string path = world.Begin(data, size, std::string(fuzz::kSignedName) + ".idi");
    std::ofstream(world.Scratch() + "/" + fuzz::kSignedName) << fuzz::kSignedContent;
    CKorvane engine;
    engine.Verify_One_File(path.c_str());
    world.CheckContained();
    return 0;
}
