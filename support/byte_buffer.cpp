#include "support/byte_buffer.h"

#include <cstdint>
#include <cstring>
#include <new>

CByteBuffer::CByteBuffer(std::size_t capacity) {
    m_capacity = capacity == 0 ? 1 : capacity;
    m_start = new char[m_capacity];
    m_step = m_capacity * 2;
}

CByteBuffer::~CByteBuffer() {
    delete[] m_start;
}

bool CByteBuffer::Append(const void* data, std::size_t n) {
    if (n == 0) return true;
    // Written as a subtraction: used + n could wrap for a huge n and skip the growth.
    if (n > m_capacity - 1 - m_used) {
        // Sizes near the address space's end cannot be allocated; refuse instead of wrapping.
        if (n > SIZE_MAX / 4 || m_step > SIZE_MAX / 4 || m_capacity > SIZE_MAX / 4) throw std::bad_alloc();
        std::size_t grow = (n / m_step + 1) * m_step + 1;
        char* block = new char[m_capacity + grow];
        std::memcpy(block, m_start, m_used);
        delete[] m_start;
        m_start = block;
        m_capacity += grow;
        m_step *= 2;
    }
    std::memcpy(m_start + m_used, data, n);
    m_used += n;
    return true;
}

bool CByteBuffer::AppendString(const char* text) {
    return text ? Append(text, std::strlen(text)) : true;
}

char* CByteBuffer::GetData() {
    m_start[m_used] = '\0';
    return m_start;
}
