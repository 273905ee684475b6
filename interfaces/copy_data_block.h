// The Windows 95 road's request, the one block ksml sends with the WM_COPYDATA message to
// the engine window:
//   u32 completion handle, u32 A, u32 B, u32 C     (little-endian, whatever the host)
//   A bytes of reply file name, B bytes of environment block, C bytes of body
// The engine writes the reply into the named file and signals completion on the
// descriptor passed with the message (the handle slot is kept for the layout's sake).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessaro::interfaces {

inline constexpr std::size_t kCopyDataHeaderSize = 16;
// The reply file is a temporary file of ksml's with this prefix in the runtime root's temp
// folder; the engine writes no other file a request names.
inline constexpr const char* kCopyDataReplyFilePrefix = "TST";

struct CopyDataRequest {
    std::uint32_t completionHandle = 0;
    std::string_view replyFile;
    std::string_view environment;
    std::string_view body;
};

namespace detail {

inline void PutLittleEndian32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

inline std::uint32_t GetLittleEndian32(std::string_view in, std::size_t offset) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(in[offset + static_cast<std::size_t>(i)]);
    return value;
}

}  // namespace detail

// The block; empty when a length does not fit 32 bits.
inline std::string EncodeCopyDataBlock(std::uint32_t completionHandle, std::string_view replyFile,
                                       std::string_view environment, std::string_view body) {
    constexpr std::size_t kMax = 0xFFFFFFFFu;
    if (replyFile.size() > kMax || environment.size() > kMax || body.size() > kMax) return {};
    std::string block;
    block.reserve(kCopyDataHeaderSize + replyFile.size() + environment.size() + body.size());
    detail::PutLittleEndian32(block, completionHandle);
    detail::PutLittleEndian32(block, static_cast<std::uint32_t>(replyFile.size()));
    detail::PutLittleEndian32(block, static_cast<std::uint32_t>(environment.size()));
    detail::PutLittleEndian32(block, static_cast<std::uint32_t>(body.size()));
    block.append(replyFile);
    block.append(environment);
    block.append(body);
    return block;
}

// The parts of a block (views into it); false when the block is shorter than its header
// or than the lengths the header declares. Bytes after the three parts are ignored.
inline bool DecodeCopyDataBlock(std::string_view block, CopyDataRequest& request) {
    if (block.size() < kCopyDataHeaderSize) return false;
    const std::uint64_t a = detail::GetLittleEndian32(block, 4);
    const std::uint64_t b = detail::GetLittleEndian32(block, 8);
    const std::uint64_t c = detail::GetLittleEndian32(block, 12);
    if (kCopyDataHeaderSize + a + b + c > block.size()) return false;
    request.completionHandle = detail::GetLittleEndian32(block, 0);
    request.replyFile = block.substr(kCopyDataHeaderSize, static_cast<std::size_t>(a));
    request.environment = block.substr(kCopyDataHeaderSize + a, static_cast<std::size_t>(b));
    request.body = block.substr(kCopyDataHeaderSize + a + b, static_cast<std::size_t>(c));
    return true;
}

}  // namespace tessaro::interfaces
