#pragma once
// Packing and restoring password packages in a temporary folder, with a scripted host.

#include <filesystem>
#include <string>
#include <vector>

#include "TestLogon.h"
#include "engine/Korvane.h"
#include "password/PasswordPackager.h"

class PasswordPackageTest : public LogonHostTest {
protected:
    // Packs `paths` (relative to dir) with `base` (relative to dir) into dir/name.
    int Pack(const std::vector<std::string>& paths, const std::string& name = "p.pkg",
             const std::string& password = "secret1", int cipher = 0, const std::string& base = "src") {
        CKorvane engine;
        PasswordPackRequest request;
        request.packagePath = dir / name;
        for (const std::string& p : paths) request.paths.push_back(dir / p);
        request.baseFolder = dir / base;
        request.password = password;
        request.cipherId = cipher;
        request.replace = true;
        return PackWithPassword(engine, request);
    }
    // Restores dir/name into dir/out with `e`, answering the password dialog with `password`
    // unless the batch knows one already ("": the dialog is cancelled).
    int RestoreWith(CKorvane& e, const std::string& name, const std::string& password, int silent = 0) {
        std::filesystem::create_directories(dir / "out");
        e.m_presetOutFolder = dir / "out";
        if (!password.empty() && !e.m_passwordKnown) host.AddAnswer("password", password);
        return e.SymmtryDecryptFiles((dir / name).c_str(), nullptr, 0, silent);
    }
    CKorvane engine;
};
