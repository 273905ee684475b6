// A growable byte buffer that always keeps room for a terminating NUL.
#pragma once

#include <cstddef>
#include <string>

class CByteBuffer {
public:
    // capacity 0 is taken as 1 so that GetData() always has room for the NUL.
    explicit CByteBuffer(std::size_t capacity = 1024);
    virtual ~CByteBuffer();
    CByteBuffer(const CByteBuffer&) = delete;
    CByteBuffer& operator=(const CByteBuffer&) = delete;

    // Appends n bytes, growing by (n / step + 1) * step + 1 bytes when
    // used + n > capacity - 1; the step then doubles. Always true (allocation
    // failure throws std::bad_alloc).
    virtual bool Append(const void* data, std::size_t n);
    virtual bool AppendString(const char* text);
    bool AppendString(const std::string& text) { return Append(text.data(), text.size()); }

    // NUL-terminates the content and returns its start.
    char* GetData();
    const char* GetBytes() const { return m_start; }
    std::size_t GetLength() const { return m_used; }
    std::size_t GetCapacity() const { return m_capacity; }
    std::size_t GetGrowthStep() const { return m_step; }
    // Forgets the content, keeping the block.
    void Clear() { m_used = 0; }

private:
    char* m_start = nullptr;
    std::size_t m_capacity = 0;
    std::size_t m_used = 0;
    std::size_t m_step = 0;
};
