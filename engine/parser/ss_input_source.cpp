#include "engine/parser/ss_input_source.h"

#include <cstring>

SSInputSource::SSInputSource(SSInputMode mode, std::uint32_t growBy) : mode_(mode), growBy_(growBy) {}

void SSInputSource::skipByteOrderMark() {
    if (mode_ != SSInputWide || state_.end - state_.position < 2) return;
    unsigned char first = buffer_[state_.position];
    unsigned char second = buffer_[state_.position + 1];
    if (first == 0xFE && second == 0xFF) {
        state_.littleEndian = false;
    } else if (!(first == 0xFF && second == 0xFE)) {
        return;
    }
    if (state_.mark == state_.position) state_.mark += 2;
    state_.position += 2;
}

bool SSInputSource::read() {
    // The end counts only at the end: a scanner that went back to its last accepting state
    // still has the characters behind it to read.
    if (state_.atEnd && state_.position >= state_.end) return false;
    if (state_.pendingFirst != 0) {
        state_.current = state_.pendingFirst;
        state_.pendingFirst = 0;
        skipByteOrderMark();
        return true;
    }
    const std::size_t unit = unitSize();
    while (state_.end - state_.position < unit) {
        std::size_t added = refill();
        if (added == 0) {
            state_.atEnd = true;
            return false;
        }
        state_.end += added;
    }
    if (unit == 2) {
        unsigned a = buffer_[state_.position];
        unsigned b = buffer_[state_.position + 1];
        state_.current = state_.littleEndian ? (a | (b << 8)) : ((a << 8) | b);
    } else {
        state_.current = buffer_[state_.position];
    }
    state_.position += unit;
    ++state_.charsRead;
    if (state_.current == '\n') {
        ++state_.newlines;
        state_.column = 1;
    } else {
        ++state_.column;
    }
    return true;
}

SSRefPtr<SSToken> SSInputSource::lexeme(std::uint32_t token, std::size_t to) {
    std::size_t from = state_.mark;
    if (to < from) to = from;
    const char* bytes = buffer_.empty() ? "" : reinterpret_cast<const char*>(buffer_.data()) + from;
    return ssShare(new SSToken(token, bytes, to - from, state_.line, static_cast<long>(state_.markColumn),
                               mode_ == SSInputWide ? 0 : 1));
}

SSRefPtr<SSToken> SSInputSource::makeToken() {
    SSRefPtr<SSToken> token = lexeme(0, state_.position);
    skipToPosition();
    return token;
}

void SSInputSource::skipToPosition() {
    state_.mark = state_.position;
    state_.line += state_.newlines;
    state_.markColumn = state_.column;
    state_.newlines = 0;
}

SSRefPtr<SSToken> SSInputSource::acceptToken(std::uint32_t token, const SSAcceptPosition& accept) {
    SSRefPtr<SSToken> result = lexeme(token, accept.position);
    state_.mark = state_.position = accept.position;
    state_.line += accept.newlines;
    state_.newlines = 0;
    state_.markColumn = state_.column = accept.column;
    return result;
}

bool SSInputSource::restore(const SSInputState& saved) {
    if (saved.discarded != state_.discarded || saved.end > state_.end || saved.mark > saved.position ||
        saved.position > saved.end) {
        return false;
    }
    std::size_t end = state_.end;
    state_ = saved;
    // Bytes read after the snapshot are still in the buffer and stay valid.
    state_.end = end;
    if (state_.position < end) state_.atEnd = false;
    state_.shift = 0;
    return true;
}

SSStringInputSource::SSStringInputSource(const char* text, SSInputMode mode)
    : SSStringInputSource(text, text == nullptr ? 0 : std::strlen(text), mode) {}

SSStringInputSource::SSStringInputSource(const void* bytes, std::size_t length, SSInputMode mode)
    : SSInputSource(mode) {
    assign(bytes, length);
}

void SSStringInputSource::assign(const char* text) {
    assign(text, text == nullptr ? 0 : std::strlen(text));
}

void SSStringInputSource::assign(const void* bytes, std::size_t length) {
    state_ = SSInputState{};
    error_.clear();
    buffer_.clear();
    if (bytes != nullptr && length > 0) {
        const auto* p = static_cast<const unsigned char*>(bytes);
        buffer_.assign(p, p + length);
    }
    if (mode_ == SSInputText) {
        // Same line ends as a file read in text mode: a CR right before an LF is dropped.
        std::size_t kept = 0;
        for (std::size_t i = 0; i < buffer_.size(); ++i) {
            if (buffer_[i] == '\r' && i + 1 < buffer_.size() && buffer_[i + 1] == '\n') continue;
            buffer_[kept++] = buffer_[i];
        }
        buffer_.resize(kept);
    }
    state_.end = buffer_.size();
    if (buffer_.empty()) state_.atEnd = true;
}
