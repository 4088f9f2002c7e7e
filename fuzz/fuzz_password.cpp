// Password packages restored into the scratch folder: the host gives the package password and
// answers every replace question with yes.

#include "FuzzSupport.h"
#include "engine/Korvane.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::World& world = fuzz::World::Get();
    const std::string path = world.Begin(data, size, "in.pkg");
    CKorvane engine;
    engine.m_presetOutFolder = world.OutFolder();
    engine.SymmtryDecryptFiles(path.c_str(), world.host.Window(), 0, 0);
    world.CheckContained();
    return 0;
}
