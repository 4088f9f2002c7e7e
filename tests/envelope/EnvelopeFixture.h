#pragma once
// Envelope packages between three registered users of a real test store: alice, bob and carol.
// Each test packs and restores in its own temporary folder.

#include <filesystem>
#include <string>
#include <vector>

#include "TestLogon.h"
#include "engine/Korvane.h"
#include "envelope/EnvelopePackager.h"

class EnvelopeTest : public LogonHostTest {
protected:
    EnvelopeTest() { AddUsers({"alice", "bob", "carol"}); }

    // alice (or `sender`) packs `paths` (relative to dir) for herself and `to` into dir/name.
    int Pack(const std::vector<std::string>& paths, const std::vector<std::string>& to = {"bob"},
             const std::string& name = "e.vrk", const std::string& sender = "alice", uint8_t kind = 2) {
        LogOn(sender);
        CKorvane e;
        EnvelopePackRequest request;
        request.packagePath = dir / name;
        for (const std::string& p : paths) request.paths.push_back(dir / p);
        request.baseFolder = dir / "src";
        request.recipients = to;
        request.kind = kind;
        return PackEnvelope(e, request);
    }
    // `reader` restores dir/name into dir/out with a fresh engine.
    int Restore(const std::string& reader, const std::string& name = "e.vrk") {
        LogOn(reader);
        std::filesystem::create_directories(dir / "out");
        CKorvane e;
        e.m_presetOutFolder = dir / "out";
        return e.EnvelopDecryptFiles((dir / name).c_str(), nullptr, 0, 0);
    }
};
