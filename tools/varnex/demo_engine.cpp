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
    std::printf("  %s", MessageText(msg::cli_demo::Ciphers).c_str());
    for (int i = 0; i < nc; ++i) std::printf(" %d", ciphers[i]);
    std::printf("  %s", MessageText(msg::cli_demo::Digests).c_str());
    for (int i = 0; i < nd; ++i) std::printf(" %d", digests[i]);
    int cipher = 0, digest = 0;
    engine.ChooseIdentifiers(&cipher, &digest);
    char ver[3] = {};
    engine.GetEncryptVer(ver);
    std::printf("\n  %s\n", MessageText(msg::cli_demo::NewFileIdentifiers, cipher, digest, ver[0], ver[1]).c_str());
    return cipher == GetFerrowEncryptAlgorithm();
}

bool ShowCrc(DemoContext&) {
    CKorvane engine;
    const char* text = "123456789";
    engine.CRC_Init();
    engine.CRC_Update(reinterpret_cast<const unsigned char*>(text), static_cast<int>(std::strlen(text)));
    uint16_t stored = engine.CRC_Final();
    std::printf("  %s\n", MessageText(msg::cli_demo::CrcStored, text, stored, stored & 0xFF, stored >> 8).c_str());
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
    std::printf("  %s\n", MessageText(msg::cli_demo::ExactRead, exact,
                                      host.Messages().empty() ? std::string() : host.Messages()[0].text)
                              .c_str());
    in.Seek(4, CFile::begin);
    int loose = engine.fReadBuf(&in, buf, 4, &got, 0);
    std::printf("  %s\n", MessageText(msg::cli_demo::LooseRead, loose, got).c_str());
    return exact == 0 && loose == 1 && got == 2;
}

}  // namespace

VARNEX_DEMO_STEP(10, msg::cli_demo::TitleIdentifiers, ShowIdentifiers);
VARNEX_DEMO_STEP(11, msg::cli_demo::TitleCrc, ShowCrc);
VARNEX_DEMO_STEP(12, msg::cli_demo::TitleCheckedIo, ShowCheckedIo);
