#include "engine/server/copy_data_intake.h"

#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "engine/server/request_context.h"
#include "engine/server/request_dispatcher.h"
#include "engine/server/request_worker.h"
#include "engine/server/server_error_log.h"
#include "platform/descriptor.h"
#include "platform/home.h"

namespace {

// The sender names the reply file; only a gateway temporary file ("TST…" in
// the runtime's temp folder) may be written, never a path of the sender's choice.
bool IsGatewayReplyFile(const std::string& path) {
    std::filesystem::path file = std::filesystem::path(path).lexically_normal();
    std::filesystem::path dir = std::filesystem::path(tessaro::platform::HomeTempDirectory()).lexically_normal();
    if (!dir.has_filename()) dir = dir.parent_path();  // a home given with a final "/"
    return file.is_absolute() && file.parent_path() == dir &&
           file.filename().string().rfind(tessaro::interfaces::kCopyDataReplyFilePrefix, 0) == 0;
}

// The sender waits on the other end of fd for the one byte that completes its request.
void SetEvent(int fd) {
    tessaro::platform::SignalAndClose(fd);
}

}  // namespace

std::int64_t OnCopyData(tessaro::platform::WindowMessage& message, bool listening, const RequestRoad& road) {
    if (!listening || message.fd < 0) return 0;
    // The sender's process id must match the socket's peer.
    if (message.senderPid <= 0 || static_cast<std::uint64_t>(message.senderPid) != message.dwData) return 0;
    tessaro::interfaces::CopyDataRequest request;
    if (!tessaro::interfaces::DecodeCopyDataBlock(message.data, request) || request.replyFile.empty()) return 0;
    int event = message.fd;
    message.fd = -1;
    RequestHandle context;
    CFileReplyChannel* channel = nullptr;
    try {
        std::string fileName(request.replyFile);
        auto nul = fileName.find('\0');
        if (nul != std::string::npos) fileName.resize(nul);
        if (!IsGatewayReplyFile(fileName)) throw std::runtime_error("reply file");
        context.reset(new CRequestContext);
        context->m_channel = std::make_unique<CFileReplyChannel>(event, fileName);
        event = -1;  // the channel owns it now
        channel = static_cast<CFileReplyChannel*>(context->m_channel.get());
        if (!channel->Open()) throw std::runtime_error("reply file");
        context->m_writer = std::make_unique<CReplyWriter>(channel);
        context->m_reader = std::make_unique<CCopyDataRequestReader>(
            request.environment.size(), request.body.size(), request.environment.data(),
            road.dispatcher.GetServerSettings());
        StartRequestThread(std::move(context), road);
    } catch (...) {
        // The sender learns at once that its request was not taken.
        if (context && channel) channel->Close();
        context.reset();
        SetEvent(event);
        LogServerError("Unexpected exception occurred in WM_COPYDATA handler.", 0);
    }
    return 0;
}
