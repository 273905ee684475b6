#pragma once
// The engine's reply on its way to the web server. The header block is held until its
// blank line has arrived; a reply that starts with a redirect is rewritten so that the
// Location line leads and no content type goes with it. Everything after the header is
// copied byte for byte.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "gateway/gateway_log.h"

namespace ksml {

// Receives the bytes for the web server.
using OutputSink = std::function<void(const char* data, std::size_t length)>;

// Writes to a descriptor (standard output), logging a short write as a warning.
OutputSink WebServerOutput(int fd, LogSink log);

class ReplyRelay {
public:
    // A header block without its blank line is held up to this size, then passed on as it is.
    static constexpr std::size_t kMaxHeaderBytes = 1024 * 1024;
    // The redirect target is cut to this length.
    static constexpr std::size_t kMaxLocationLength = 4000;

    explicit ReplyRelay(OutputSink out, std::size_t maxHeaderBytes = kMaxHeaderBytes)
        : out_(std::move(out)), max_header_(maxHeaderBytes) {}

    // Passes one piece of the reply on (through the header filter until the header is done).
    bool RelayReplyData(const char* data, std::size_t length);
    bool WriteReplyText(std::string_view text) { return RelayReplyData(text.data(), text.size()); }

    bool header_done() const { return header_done_; }
    bool has_pending_header() const { return !header_.empty(); }
    // Forgets a header block still waiting for its blank line.
    void DiscardPendingHeader() { header_.clear(); }
    // End of the reply: a header block that never saw its blank line goes out as it is.
    void Finish();

private:
    void FilterReplyHeader(const char* data, std::size_t length);
    void WriteHeaderBlock(std::string_view header);
    void WriteRedirectHeader(std::string_view header);
    void Write(std::string_view bytes) {
        if (!bytes.empty()) out_(bytes.data(), bytes.size());
    }

    OutputSink out_;
    std::size_t max_header_;
    bool header_done_ = false;
    std::string header_;
};

}  // namespace ksml
