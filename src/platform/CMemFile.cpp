#include "platform/CMemFile.h"

#include <cerrno>
#include <cstring>

void CMemFile::Reserve(uint64_t size) {
    if (size <= m_data.size()) return;
    uint64_t steps = (size + m_grow - 1) / m_grow;
    m_data.resize(steps * m_grow);
}

unsigned CMemFile::Read(void* buffer, unsigned count) {
    // A read of nothing may come with no buffer (an empty field's storage).
    if (m_pos >= m_size || count == 0) return 0;
    uint64_t n = std::min<uint64_t>(count, m_size - m_pos);
    std::memcpy(buffer, m_data.data() + m_pos, n);
    m_pos += n;
    return static_cast<unsigned>(n);
}

void CMemFile::Write(const void* buffer, unsigned count) {
    if (count == 0) return;
    Reserve(m_pos + count);
    std::memcpy(m_data.data() + m_pos, buffer, count);
    m_pos += count;
    m_size = std::max(m_size, m_pos);
}

uint64_t CMemFile::Seek(int64_t offset, unsigned from) {
    int64_t base = from == current ? static_cast<int64_t>(m_pos) : from == end ? static_cast<int64_t>(m_size) : 0;
    if (base + offset < 0) throw CFileException(CFileException::badSeek, EINVAL, "");
    m_pos = static_cast<uint64_t>(base + offset);
    return m_pos;
}

void CMemFile::SetLength(uint64_t length) {
    Reserve(length);
    if (length > m_size) std::memset(m_data.data() + m_size, 0, length - m_size);
    m_size = length;
    if (m_pos > m_size) m_pos = m_size;
}

void CMemFile::Attach(std::vector<unsigned char> bytes) {
    m_data = std::move(bytes);
    m_size = m_data.size();
    m_pos = 0;
}

void CMemFile::Close() {
    m_data.clear();
    m_data.shrink_to_fit();
    m_size = m_pos = 0;
}
