#include "gateway/copy_data_forwarder.h"

#include "platform/descriptor.h"
#include "platform/file_system.h"
#include "platform/home.h"
#include "platform/process_environment.h"
#include "platform/process_ids.h"
#include "platform/temp_file.h"
#include "platform/win32_error.h"
#include "platform/window.h"

namespace ksml {

namespace plat = tessaro::platform;

namespace {

constexpr const char* kNotRunning =
    "Tessaro server application not currently running.<P>You should start the Tessaro server executable "
    "(tsengine.EXE) before attempting to submit requests to Tessaro. <P>Note: A reliable way to ensure that "
    "the server is always running is to include it in your Windows 'Startup' folder. This will make sure "
    "that the Tessaro server application is loaded automatically when you start Windows.";
constexpr std::size_t kReplyBlock = 4096;

// Descriptors and the reply file of one forwarding, released on every path.
struct CopyDataResources {
    int done[2] = {-1, -1};
    int file = -1;
    std::string path;
    ~CopyDataResources() {
        for (int fd : {done[0], done[1], file}) plat::CloseDescriptor(fd);
        if (!path.empty()) plat::RemoveFile(path);
        plat::RemoveOnSignalEnd("");
    }
};

enum class Completion { Done, Dropped, TimedOut, Failed, VisitorGone };

// The engine writes one byte when the reply file is complete; a close without it means the
// request was not taken.
Completion WaitForCompletion(int fd, int seconds, int webServerOutput, long& error) {
    const int timeoutMs = seconds > 0 ? seconds * 1000 : -1;
    plat::InputWait wait;
    bool outputClosed = false;
    do {
        wait = plat::WaitForInputWatchingOutput(fd, webServerOutput, timeoutMs, &outputClosed);
    } while (wait == plat::InputWait::Interrupted);
    if (outputClosed) return Completion::VisitorGone;
    if (wait == plat::InputWait::Failed) {
        error = plat::Win32LastErrno();
        return Completion::Failed;
    }
    if (wait == plat::InputWait::TimedOut) return Completion::TimedOut;
    char byte;
    long n = plat::ReadSome(fd, &byte, 1);
    if (n == 1) return Completion::Done;
    if (n < 0) {
        error = plat::Win32LastErrno();
        return Completion::Failed;
    }
    return Completion::Dropped;
}

}  // namespace

bool ForwardViaCopyData(std::string_view environment, std::string_view body, GatewayState& state) {
    CopyDataResources res;
    if (!plat::CreatePipe(&res.done[0], &res.done[1])) {
        state.errors.Add("Error attempting to create completion notification event.", plat::Win32LastErrno());
        return false;
    }
    // The engine writes the file, so it must live where both processes look: below the root.
    const std::string tempDir = plat::HomeTempDirectory();
    if (long error = plat::EnsureDirectory(tempDir); error != 0) {
        state.errors.Add("Error attempting to determine temporary file path.", error);
        return false;
    }
    using tessaro::interfaces::kCopyDataReplyFilePrefix;
    if (long error = plat::MakeTempFileName(tempDir, kCopyDataReplyFilePrefix, &res.path); error != 0) {
        res.path.clear();
        state.errors.Add("Error attempting to generate temporary file name.", error);
        return false;
    }
    // A gateway ended by its web server leaves no reply file behind either.
    plat::RemoveOnSignalEnd(res.path);
    std::string block = BuildCopyDataBlock(static_cast<std::uint32_t>(res.done[1]), res.path, environment, body);
    if (block.empty()) {
        state.errors.Add("Error allocating memory for data transmission to server.", 0);
        return false;
    }
    const std::string window = plat::FindWindow(kEngineWindowClass, "");
    if (window.empty()) {
        state.errors.Add(kNotRunning, 0);
        return false;
    }
    bool delivered = false;
    plat::SendCopyData(window, 0, static_cast<std::uint64_t>(plat::CurrentProcessId()), block, res.done[1], &delivered);
    // Only the engine's copy may keep the write end, so that its loss reads as end of file.
    plat::CloseDescriptor(res.done[1]);
    res.done[1] = -1;
    if (!delivered) {
        state.errors.Add(kNotRunning, 0);
        return false;
    }
    long error = 0;
    switch (WaitForCompletion(res.done[0], state.settings.copy_data_wait_seconds, state.web_server_output, error)) {
        case Completion::Done:
            break;
        case Completion::VisitorGone:
            state.visitor_gone = true;
            return false;
        case Completion::Dropped:
            state.errors.Add("The Tessaro server application did not accept the request.", 0);
            return false;
        case Completion::TimedOut:
            state.errors.Add("The Tessaro server application did not complete the request within " +
                                 std::to_string(state.settings.copy_data_wait_seconds) + " seconds.",
                             plat::WAIT_TIMEOUT_ERROR);
            return false;
        case Completion::Failed:
            state.errors.Add("Error attempting to wait for the server to complete the request.", error);
            return false;
    }
    res.file = plat::OpenForReading(res.path);
    if (res.file < 0) {
        state.errors.Add("Error attempting to open the results file generated by the server.", 0);
        return false;
    }
    std::string buffer(kReplyBlock, '\0');
    std::size_t total = 0;
    for (;;) {
        long n = plat::ReadSome(res.file, buffer.data(), buffer.size());
        if (n < 0) {
            state.errors.Add("Error attempting to read the results file generated by the server.", 0);
            return false;
        }
        if (n == 0) break;
        total += static_cast<std::size_t>(n);
        state.relay.RelayReplyData(buffer.data(), static_cast<std::size_t>(n));
    }
    if (total == 0) {
        // The engine completes an empty file when it turned the request away (request limit).
        state.errors.Add("Error attempting to read the results file generated by the server.", plat::ERROR_BROKEN_PIPE);
        return false;
    }
    return true;
}

}  // namespace ksml
