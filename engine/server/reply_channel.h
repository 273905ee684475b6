// Transports under the reply writer: the request socket, an in-memory buffer,
// and the reply file of the window-message road.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

#include "support/byte_buffer.h"

class CReplyChannel {
public:
    virtual ~CReplyChannel() = default;
    virtual bool Write(const void* data, std::size_t length) = 0;
    virtual bool WriteText(const std::string& text) { return Write(text.data(), text.size()); }
    virtual bool WriteEmpty() = 0;
    virtual void Flush() = 0;
    virtual void Close() = 0;
    // True when whoever waits for the reply is known to have gone (the reply cannot arrive).
    // Asked from any thread (the request watch) while the channel lives.
    virtual bool ReceiverGone() { return false; }
};

// Pipe messages of at most 4096 bytes each; Close sends the disconnect frame.
// The frames are gathered and sent together (a reply of a page is one send, disconnect
// included) once kSendSize bytes are waiting, at Flush and at Close; a failure of a send
// shows at the next call. The socket is not owned: the worker closes it.
class CPipeReplyChannel : public CReplyChannel {
public:
    static constexpr std::size_t kBlockSize = 4096;
    static constexpr std::size_t kSendSize = 65536;
    explicit CPipeReplyChannel(int socket) : m_socket(socket) {}
    bool Write(const void* data, std::size_t length) override;
    bool WriteEmpty() override;
    void Flush() override { SendWaiting(); }
    void Close() override;
    bool ReceiverGone() override;
    int GetSocket() const { return m_socket; }

private:
    bool SendWaiting();
    bool Report(long errorNumber, bool shortWrite);
    int m_socket;
    std::string m_waiting;
    std::atomic<bool> m_closed{false};
    // After a failed write the stream may hold half a frame: nothing more is sent,
    // and a client that stopped reading costs one send time-out, not one per write.
    bool m_failed = false;
};

class CMemoryReplyChannel : public CReplyChannel {
public:
    static constexpr std::size_t kInitialSize = 8192;
    CMemoryReplyChannel() : m_buffer(kInitialSize) {}
    bool Write(const void* data, std::size_t length) override;
    bool WriteEmpty() override { return true; }
    void Flush() override {}
    void Close() override {}
    CByteBuffer& GetBuffer() { return m_buffer; }
    const char* GetBytes() const { return m_buffer.GetBytes(); }
    std::size_t GetLength() const { return m_buffer.GetLength(); }

private:
    CByteBuffer m_buffer;
};

// Writes the reply into the sender's file; Close signals the sender by writing
// one byte to its completion descriptor and closing it.
class CFileReplyChannel : public CReplyChannel {
public:
    // Takes ownership of completionFd.
    CFileReplyChannel(int completionFd, std::string fileName);
    ~CFileReplyChannel() override;
    bool Open();
    bool Write(const void* data, std::size_t length) override;
    bool WriteEmpty() override { return true; }
    void Flush() override {}
    void Close() override;
    bool IsOpen() const { return m_open; }
    const std::string& GetFileName() const { return m_fileName; }

private:
    // A write that failed is logged; the file is emptied, so that the sender answers with its
    // error page rather than part of a page, or, when it cannot be, the request is dropped.
    void Fail(long number);

    bool m_open = false;
    bool m_failed = false;
    bool m_dropped = false;  // closed without the completion byte
    std::string m_fileName;
    int m_completionFd;
    int m_fileFd = -1;
};
