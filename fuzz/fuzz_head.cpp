// The secured-file head as every reader takes it: read and unsealed, then judged by each
// reader's rules, and the record list behind it as `varnex list` reads it.

#include <vector>

#include "FuzzSupport.h"
#include "engine/Korvane.h"
#include "formats/EncryptFlag.h"
#include "password/PackageListing.h"
#include "shell/PlainFunctions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::World& world = fuzz::World::Get();
    const std::string path = world.Begin(data, size, "in.pkg");
    CKorvane engine;
    IsEncryptedFile(path.c_str());
    EncryptFlag head;
    if (engine.GetEncryptedFileHead(path.c_str(), &head, 1)) {
        for (const HeadRules* rules : {&kPasswordHeadRules, &kEnvelopeHeadRules, &kSignatureHeadRules, &kAnyHeadRules})
            engine.CheckEncryptedFileHead(head, *rules);
    }
    std::vector<PackageEntry> entries;
    ListPackage(engine, path, entries);
    world.CheckContained();
    return 0;
}
