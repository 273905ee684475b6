#include "gateway/reply_relay.h"

#include <cstdio>

#include "platform/descriptor.h"
#include "platform/path_util.h"

namespace ksml {

namespace {

constexpr std::string_view kLocation = "Location: ";

}  // namespace

OutputSink WebServerOutput(int fd, LogSink log) {
    return [fd, log = std::move(log), failed = false](const char* data, std::size_t length) mutable {
        if (failed) return;  // the web server has gone; the rest would fail the same way
        std::size_t written = 0;
        while (written < length) {
            long n = tessaro::platform::WriteSome(fd, data + written, length - written);
            if (n <= 0) break;
            written += static_cast<std::size_t>(n);
        }
        if (written < length) {
            failed = true;
            if (log) {
                char text[160];
                std::snprintf(text, sizeof text,
                              "The number of bytes written to the web server (%zu) was less than the "
                              "number of bytes to write (%zu).",
                              written, length);
                log("Warning", text);
            }
        }
    };
}

bool ReplyRelay::RelayReplyData(const char* data, std::size_t length) {
    if (length == 0) return true;
    if (header_done_)
        Write(std::string_view(data, length));
    else
        FilterReplyHeader(data, length);
    return true;
}

void ReplyRelay::FilterReplyHeader(const char* data, std::size_t length) {
    // The blank line may straddle two pieces: search from the last byte already held.
    std::size_t from = header_.empty() ? 0 : header_.size() - 1;
    header_.append(data, length);
    std::size_t blank = header_.find("\n\n", from);
    if (blank == std::string::npos) {
        if (header_.size() > max_header_) Finish();
        return;
    }
    std::string held = std::move(header_);
    header_.clear();
    std::string_view all(held);
    WriteHeaderBlock(all.substr(0, blank + 2));
    header_done_ = true;
    Write(all.substr(blank + 2));
}

void ReplyRelay::WriteHeaderBlock(std::string_view header) {
    if (header.substr(0, kLocation.size()) == kLocation)
        WriteRedirectHeader(header);
    else
        Write(header);
}

void ReplyRelay::WriteRedirectHeader(std::string_view header) {
    // header ends in "\n\n"; its first line is the Location line.
    std::size_t firstEnd = header.find('\n');
    std::string_view url = header.substr(kLocation.size(), firstEnd - kLocation.size());
    if (url.size() > kMaxLocationLength) url = url.substr(0, kMaxLocationLength);
    std::string out;
    out.reserve(header.size() + 1);
    out += kLocation;
    out += url;
    out += '\n';
    // The engine's other header lines (cookies above all) go with the redirect; a content
    // type would only invite the web server to expect a body.
    std::string_view rest = header.substr(firstEnd + 1);
    while (!rest.empty()) {
        std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end + 1);
        rest.remove_prefix(line.size());
        if (line == "\n") break;
        constexpr std::string_view kContentType = "Content-type:";
        if (!tessaro::platform::EqualsNoCase(line.substr(0, kContentType.size()), kContentType)) out += line;
    }
    out += '\n';
    Write(out);
}

void ReplyRelay::Finish() {
    if (header_done_ || header_.empty()) return;
    std::string held = std::move(header_);
    header_.clear();
    header_done_ = true;
    Write(held);
}

}  // namespace ksml
