// Demo steps of the engine core: identifiers, the CRC, checked file I/O.

#include <cstdio>
#include <cstring>

#include "Demo.h"
#include "engine/Identifiers.h"
#include "engine/Korvane.h"
#include "platform/ScriptedHost.h"

namespace {

bool ShowIdentifiers(DemoContext&) {
    CKorvane engine;
    int ciphers[5], digests[2], nc = 0, nd = 0;
    engine.GetEncryptAlgorithmID(ciphers, &nc, digests, &nd);
    std::printf("  ciphers:");
    for (int i = 0; i < nc; ++i) std::printf(" %d", ciphers[i]);
    std::printf("  digests:");
    for (int i = 0; i < nd; ++i) std::printf(" %d", digests[i]);
    int cipher = 0, digest = 0;
    engine.ChooseIdentifiers(&cipher, &digest);
    char ver[3] = {};
    engine.GetEncryptVer(ver);
    std::printf("\n  a new secured file is written with cipher %d, digest %d, format version %c.%c\n", cipher, digest,
                ver[0], ver[1]);
    return cipher == GetFerrowEncryptAlgorithm();
}

bool ShowCrc(DemoContext&) {
    CKorvane engine;
    const char* text = "123456789";
    engine.CRC_Init();
    engine.CRC_Update(reinterpret_cast<const unsigned char*>(text), static_cast<int>(std::strlen(text)));
    uint16_t stored = engine.CRC_Final();
    std::printf("  CRC of \"%s\" as stored: %04X (bytes %02X %02X)\n", text, stored, stored & 0xFF, stored >> 8);
    return true;
}

bool ShowCheckedIo(DemoContext& demo) {
    std::string path = demo.folder + "/short.bin";
    {
        CFile out(path, CFile::modeCreate | CFile::modeWrite);
        out.Write("abcdef", 6);
    }
    ScriptedHost host;
    ScopedUiHost installed(host);
    CKorvane engine;
    CFile in(path, CFile::modeRead);
    in.Seek(4, CFile::begin);
    char buf[4];
    unsigned long got = 0;
    int exact = engine.fReadBuf(&in, buf, 4, &got, 1);
    std::printf("  exact read of 4 bytes, 2 before the end: result %d, message \"%s\"\n", exact,
                host.Messages().empty() ? "" : host.Messages()[0].text.c_str());
    in.Seek(4, CFile::begin);
    int loose = engine.fReadBuf(&in, buf, 4, &got, 0);
    std::printf("  the same read, not exact: result %d, %lu bytes\n", loose, got);
    return exact == 0 && loose == 1 && got == 2;
}

}  // namespace

VARNEX_DEMO_STEP(10, "Engine identifiers and the choice for new files", ShowIdentifiers);
VARNEX_DEMO_STEP(11, "CRC-16 over stored bytes", ShowCrc);
VARNEX_DEMO_STEP(12, "Checked file I/O reports each failure once", ShowCheckedIo);
