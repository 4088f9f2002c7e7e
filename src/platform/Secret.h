#pragma once
// Buffers for secrets (passwords, session keys, unwrapped key material) that wipe their bytes
// whenever the memory holding them is given back: when the buffer is destroyed, cleared,
// assigned anew or grows into a new allocation. Unlike std::string, no secret is kept inline
// in the object, where a destructor would leave it behind. The bytes live in the secure heap
// when the process has one (ProtectProcessSecrets).

#include <openssl/crypto.h>

#include <cstddef>
#include <new>
#include <string>
#include <string_view>
#include <vector>

// Where secret bytes are kept: in OpenSSL's secure heap (locked, out of core dumps; see
// SecureMemory.h) while it has room, else on the ordinary heap. Either is wiped when given
// back. Large blocks, and any block once half the arena is taken, go to the ordinary heap: the
// arena is kept for the private-key numbers OpenSSL places there, which fail without it.
void* AllocateSecret(size_t bytes);
void FreeSecret(void* p, size_t bytes);

template <typename T>
struct WipingAllocator {
    using value_type = T;
    WipingAllocator() = default;
    template <typename U>
    WipingAllocator(const WipingAllocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(AllocateSecret(n * sizeof(T))); }
    void deallocate(T* p, size_t n) { FreeSecret(p, n * sizeof(T)); }
    template <typename U>
    bool operator==(const WipingAllocator<U>&) const {
        return true;
    }
};

// Raw secret bytes (session keys, derived keys).
using SecretBytes = std::vector<unsigned char, WipingAllocator<unsigned char>>;

// A secret text (a password). Always followed by a NUL, so c_str() may go to C interfaces.
class SecretText {
public:
    SecretText() { m_bytes.push_back('\0'); }
    SecretText(std::string_view text) { assign(text); }
    SecretText(const SecretText& other) : SecretText(other.view()) {}
    SecretText& operator=(const SecretText& other) {
        if (this != &other) assign(other.view());
        return *this;
    }
    SecretText& operator=(std::string_view text) {
        assign(text);
        return *this;
    }
    ~SecretText() { clear(); }

    // The new text goes into a buffer of its own size; the old one is wiped as it is given back.
    void assign(std::string_view text) {
        std::vector<char, WipingAllocator<char>> bytes;
        bytes.reserve(text.size() + 1);
        bytes.assign(text.begin(), text.end());
        bytes.push_back('\0');
        clear();
        m_bytes.swap(bytes);
    }
    // Wipes the text; the buffer stays allocated (and is wiped again when released).
    void clear() {
        OPENSSL_cleanse(m_bytes.data(), m_bytes.size());
        m_bytes.assign(1, '\0');
    }
    // Appends one character; a buffer outgrown is wiped as it is given back.
    void push_back(char c) {
        m_bytes.back() = c;
        m_bytes.push_back('\0');
    }
    const char* c_str() const { return m_bytes.data(); }
    const char* data() const { return m_bytes.data(); }
    size_t size() const { return m_bytes.size() - 1; }
    bool empty() const { return size() == 0; }
    std::string_view view() const { return {data(), size()}; }
    bool operator==(std::string_view text) const { return view() == text; }

private:
    std::vector<char, WipingAllocator<char>> m_bytes;
};
