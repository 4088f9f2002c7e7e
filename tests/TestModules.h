#pragma once
// Driver modules of the tests (simulated cards, mail recorders) under the names the engine loads.

#include <filesystem>
#include <string>

#include "TestSupport.h"

// A folder the engine looks in first for modules (VARNEX_MODULE_PATH) while the object lives.
class ScopedModules {
public:
    // Links the test module `built` as module `name`.
    void Install(const std::string& name, const std::string& built) const {
        std::filesystem::create_symlink(std::string(VARNEX_TEST_MODULE_DIR) + "/" + built + ".so",
                                        m_dir / (name + ".so"));
    }
    const std::string& Path() const { return m_dir.Path(); }

private:
    TempDir m_dir;
    ScopedEnv m_path{"VARNEX_MODULE_PATH", m_dir.Path()};
};
