#pragma once
// Run-time loading of outside modules (card drivers, mail transport). A module named "trv88"
// is the file "trv88.so", looked up in each folder of $VARNEX_MODULE_PATH (':'-separated),
// then where the modules shipped with the engine lie, relative to the program or shared library
// that holds the engine: "modules" beside it (the build folder), the installed modules folder
// (LIBDIR/varnex/modules, reached from BINDIR or from LIBDIR), and its own folder. A module that
// is not found leaves the handle empty; callers then take their "not installed" path.

#include <memory>
#include <string>

class CModule {
public:
    CModule() = default;
    ~CModule();
    CModule(CModule&& other) noexcept : m_handle(other.m_handle) { other.m_handle = nullptr; }
    CModule& operator=(CModule&& other) noexcept;
    CModule(const CModule&) = delete;
    CModule& operator=(const CModule&) = delete;

    // Loads the module; false when it is not found or cannot be loaded.
    bool Load(const std::string& name);
    void Unload();
    bool IsLoaded() const { return m_handle != nullptr; }
    // The address of an exported symbol, or null.
    void* GetProcAddress(const char* symbol) const;

    template <typename Fn>
    Fn Proc(const char* symbol) const {
        return reinterpret_cast<Fn>(GetProcAddress(symbol));
    }

    // Where Load(name) would look, in order.
    static std::string FindModule(const std::string& name);

private:
    void* m_handle = nullptr;
};

// The folder of the program or shared library that holds the engine; empty when unknown.
std::string OwnFolder();
