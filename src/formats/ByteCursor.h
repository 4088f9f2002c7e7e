#pragma once
// A bounds-checked reading cursor over bytes that came from a file. Every record reader takes
// its fields through one cursor: a request for more bytes than remain fails, and a cursor that
// has failed stays failed, so a reader can take a whole record and test Ok() once at the end.
// Values read after a failure are zero and spans are empty; nothing is ever read past the end.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

class ByteCursor {
public:
    ByteCursor(const void* data, size_t size) : m_data(static_cast<const uint8_t*>(data)), m_size(data ? size : 0) {}
    explicit ByteCursor(std::span<const uint8_t> bytes) : ByteCursor(bytes.data(), bytes.size()) {}

    bool Ok() const { return !m_failed; }
    size_t Remaining() const { return m_failed ? 0 : m_size - m_pos; }
    size_t Position() const { return m_pos; }

    // The next n bytes, or an empty span (and a failed cursor) when fewer remain.
    std::span<const uint8_t> Take(size_t n) {
        if (m_failed || n > m_size - m_pos) {
            m_failed = true;
            return {};
        }
        std::span<const uint8_t> out(m_data + m_pos, n);
        m_pos += n;
        return out;
    }

    // Copies the next n bytes into out (room for n); out is left untouched on failure.
    bool Copy(void* out, size_t n) {
        std::span<const uint8_t> bytes = Take(n);
        if (!Ok()) return false;
        if (n) std::memcpy(out, bytes.data(), n);
        return true;
    }

    uint8_t U8() {
        std::span<const uint8_t> b = Take(1);
        return b.empty() ? 0 : b[0];
    }
    uint16_t U16le() {
        std::span<const uint8_t> b = Take(2);
        return b.empty() ? 0 : static_cast<uint16_t>(b[0] | b[1] << 8);
    }
    uint32_t U32le() {
        std::span<const uint8_t> b = Take(4);
        return b.empty() ? 0
                         : static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                               static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
    }
    int32_t I32le() { return static_cast<int32_t>(U32le()); }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_failed = false;
};
