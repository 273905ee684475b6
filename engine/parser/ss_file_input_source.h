#pragma once
// A source over a named file: the whole file in one buffer, or a buffer that is refilled
// (and compacted, and grown by `growBy`) as the scanner moves on.

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/parser/ss_input_source.h"

class SSFileInputSource : public SSInputSource {
public:
    static constexpr std::uint64_t kWholeFile = 0xFFFFFFFF;

    // Errors: code 1 when the file does not open, code 2 when it is empty; the source then
    // delivers nothing. The name may use '\' or '/'.
    SSFileInputSource(const char* name, SSInputMode mode = SSInputText, std::uint64_t size = kWholeFile,
                      std::uint32_t growBy = 0);
    ~SSFileInputSource() override;

    std::size_t refill() override;
    const std::string& name() const { return name_; }

private:
    // Reads up to `wanted` bytes into the buffer at `at`, dropping a CR before an LF in text
    // mode; returns the bytes stored.
    std::size_t readInto(std::size_t at, std::size_t wanted);
    void close();

    std::string name_;
    std::FILE* file_ = nullptr;
    std::uint64_t remaining_ = 0;  // bytes of the file not read yet
    bool heldCR_ = false;          // a CR at a read boundary, kept until the next byte is seen
};
