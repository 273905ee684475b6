#include "engine/parser/ss_file_input_source.h"

#include <cerrno>
#include <cstring>

#include "platform/file_system.h"

namespace {

std::string diskPath(const char* name) {
    std::string path = name == nullptr ? std::string() : std::string(name);
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

}  // namespace

SSFileInputSource::SSFileInputSource(const char* name, SSInputMode mode, std::uint64_t size, std::uint32_t growBy)
    : SSInputSource(mode, growBy), name_(name == nullptr ? "" : name) {
    state_.atEnd = true;  // until a buffer is in place
    std::string path = diskPath(name);
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) {
        int number = errno;
        error_.raise(SSErrorOpenFile, name_.c_str(), static_cast<long>(number));
        return;
    }
    if (tessaro::platform::GetFileKind(path) == tessaro::platform::FileKind::Directory) {
        // A folder opens for reading here and claims the largest length there is.
        close();
        error_.raise(SSErrorOpenFile, name_.c_str(), static_cast<long>(EISDIR));
        return;
    }
    std::uint64_t length = 0;
    if (std::fseek(file_, 0, SEEK_END) == 0) {
        long at = std::ftell(file_);
        if (at > 0) length = static_cast<std::uint64_t>(at);
    }
    std::fseek(file_, 0, SEEK_SET);
    if (size == kWholeFile || size > length) size = length;
    if (size == 0 || size > SIZE_MAX / 2) {
        close();
        error_.raise(SSErrorFileLength, name_.c_str(), 0L);
        return;
    }
    remaining_ = length;
    buffer_.resize(static_cast<std::size_t>(size));
    std::size_t stored = readInto(0, buffer_.size());
    state_.end = stored;
    state_.atEnd = false;
    if (stored == 0 && remaining_ == 0 && !heldCR_) {
        // Nothing readable after all (the file shrank or a read failed).
        close();
        error_.raise(SSErrorFileLength, name_.c_str(), 0L);
    }
}

SSFileInputSource::~SSFileInputSource() {
    close();
}

void SSFileInputSource::close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

std::size_t SSFileInputSource::readInto(std::size_t at, std::size_t wanted) {
    std::size_t stored = 0;
    if (heldCR_ && wanted > 0) {
        // The CR read last time is kept unless an LF follows it.
        int next = file_ != nullptr && remaining_ > 0 ? std::fgetc(file_) : EOF;
        if (next != EOF) --remaining_;
        heldCR_ = false;
        if (next != '\n') buffer_[at + stored++] = '\r';
        if (next != EOF && stored < wanted) {
            buffer_[at + stored++] = static_cast<unsigned char>(next);
        } else if (next != EOF) {
            std::ungetc(next, file_);
            ++remaining_;
        }
    }
    while (stored < wanted && file_ != nullptr && remaining_ > 0) {
        std::size_t chunk = wanted - stored;
        if (chunk > remaining_) chunk = static_cast<std::size_t>(remaining_);
        std::size_t got = std::fread(buffer_.data() + at + stored, 1, chunk, file_);
        if (got == 0) {
            remaining_ = 0;
            break;
        }
        remaining_ -= got;
        if (mode_ == SSInputText) {
            unsigned char* p = buffer_.data() + at + stored;
            std::size_t kept = 0;
            for (std::size_t i = 0; i < got; ++i) {
                if (p[i] == '\r') {
                    if (i + 1 < got) {
                        if (p[i + 1] == '\n') continue;
                    } else if (remaining_ > 0) {
                        heldCR_ = true;  // decided with the next byte
                        continue;
                    }
                }
                p[kept++] = p[i];
            }
            got = kept;
        }
        stored += got;
        if (heldCR_) break;
    }
    if (remaining_ == 0 && !heldCR_) close();
    return stored;
}

std::size_t SSFileInputSource::refill() {
    if (file_ == nullptr && !heldCR_) return 0;
    SSInputState& s = state_;
    if (s.mark == s.end) {
        s.shift += s.mark;
        s.discarded += s.mark;
        s.mark = s.position = s.end = 0;
    } else if (s.mark > 0) {
        std::memmove(buffer_.data(), buffer_.data() + s.mark, s.end - s.mark);
        s.position -= s.mark;
        s.end -= s.mark;
        s.shift += s.mark;
        s.discarded += s.mark;
        s.mark = 0;
    }
    if (s.end == buffer_.size()) {
        if (growBy_ == 0) {
            // One byte more decides between a lexeme too long for the buffer and the end.
            int next = file_ != nullptr && remaining_ > 0 ? std::fgetc(file_) : EOF;
            if (next != EOF || heldCR_) {
                if (next != EOF) std::ungetc(next, file_);
                error_.raise(SSErrorLexemeTooLong, static_cast<long>(s.end));
                return 0;
            }
            close();
            return 0;
        }
        buffer_.resize(buffer_.size() + growBy_);
    }
    std::size_t added = 0;
    while (added == 0 && (file_ != nullptr || heldCR_)) {
        std::size_t before = added;
        added += readInto(s.end, buffer_.size() - s.end);
        if (added == before && file_ == nullptr) break;
    }
    return added;
}
