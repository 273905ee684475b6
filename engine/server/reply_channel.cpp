#include "engine/server/reply_channel.h"

#include "engine/server/server_error_log.h"
#include "platform/descriptor.h"
#include "platform/file_system.h"
#include "platform/pipe_frame.h"
#include "platform/request_socket.h"
#include "platform/win32_error.h"

using tessaro::platform::AppendPipeFrame;
using tessaro::platform::PipeFrameKind;
using tessaro::platform::Win32LastErrno;
using tessaro::platform::WriteFully;

bool CPipeReplyChannel::Report(long number, bool shortWrite) {
    m_failed = true;
    if (shortWrite) {
        LogServerError(
            "The number of bytes written was not equal to the number of bytes in the named pipe input buffer.", 0);
        return false;
    }
    if (number == tessaro::platform::ERROR_BROKEN_PIPE) {
        LogServerError("Unable to write reply -- client browser stopped waiting for request. ", number);
    } else {
        LogServerError(
            "Error number " + std::to_string(number) + " occurred while attempting to write the reply to the pipe.",
            number);
    }
    return false;
}

bool CPipeReplyChannel::SendWaiting() {
    if (m_failed) return false;
    if (m_waiting.empty()) return true;
    const bool sent = WriteFully(m_socket, m_waiting.data(), m_waiting.size());
    m_waiting.clear();
    return sent || Report(Win32LastErrno(), false);
}

bool CPipeReplyChannel::Write(const void* data, std::size_t length) {
    if (m_failed) return false;
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        std::size_t block = length < kBlockSize ? length : kBlockSize;
        AppendPipeFrame(m_waiting, PipeFrameKind::Message, p, block);
        if (m_waiting.size() >= kSendSize && !SendWaiting()) return false;
        p += block;
        length -= block;
    }
    return true;
}

bool CPipeReplyChannel::WriteEmpty() {
    if (m_failed) return false;
    AppendPipeFrame(m_waiting, PipeFrameKind::Message, nullptr, 0);
    return m_waiting.size() < kSendSize || SendWaiting();
}

void CPipeReplyChannel::Close() {
    if (m_closed.exchange(true)) return;
    if (!m_failed) AppendPipeFrame(m_waiting, PipeFrameKind::Disconnect, nullptr, 0);
    SendWaiting();
    tessaro::platform::ShutdownSending(m_socket);
}

bool CPipeReplyChannel::ReceiverGone() {
    return !m_closed && tessaro::platform::PeerHasClosed(m_socket);
}

bool CMemoryReplyChannel::Write(const void* data, std::size_t length) {
    if (length > 0) m_buffer.Append(data, length);
    return true;
}

CFileReplyChannel::CFileReplyChannel(int completionFd, std::string fileName)
    : m_fileName(std::move(fileName)), m_completionFd(completionFd) {}

CFileReplyChannel::~CFileReplyChannel() {
    if (m_open)
        Close();
    else
        tessaro::platform::CloseDescriptor(m_completionFd);
}

bool CFileReplyChannel::Open() {
    m_fileFd = tessaro::platform::OpenForOverwrite(m_fileName, 0644);
    m_open = m_fileFd >= 0;
    return m_open;
}

bool CFileReplyChannel::Write(const void* data, std::size_t length) {
    if (!m_open || m_failed) return false;
    if (length > 0 && !WriteFully(m_fileFd, data, length)) Fail(Win32LastErrno());
    return !m_failed;
}

void CFileReplyChannel::Fail(long number) {
    m_failed = true;
    LogRequestFileError("write", "reply file", m_fileName, number);
    if (long error = tessaro::platform::EmptyFile(m_fileFd); error != tessaro::platform::ERROR_SUCCESS) {
        LogRequestFileError("empty", "reply file", m_fileName, error);
        m_dropped = true;
    }
}

void CFileReplyChannel::Close() {
    tessaro::platform::CloseDescriptor(m_fileFd);
    m_fileFd = -1;
    m_open = false;
    if (m_dropped)
        tessaro::platform::CloseDescriptor(m_completionFd);
    else
        tessaro::platform::SignalAndClose(m_completionFd);
    m_completionFd = -1;
}
