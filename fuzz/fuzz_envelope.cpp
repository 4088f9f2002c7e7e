// Envelope packages restored into the scratch folder by their recipient, signature checked.

#include "FuzzSupport.h"
#include "engine/Korvane.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::World& world = fuzz::World::Get();
    world.LogOn(fuzz::kRecipient);
    const std::string path = world.Begin(data, size, "in.vrk");
    CKorvane engine;
    engine.m_presetOutFolder = world.OutFolder();
    engine.m_batchSuccess = 1;
    engine.EnvelopDecryptFiles(path.c_str(), world.host.Window(), 0, 0);
    world.CheckContained();
    return 0;
}
