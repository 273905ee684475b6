#include "engine/templates/core/reply_header_rules.h"

#include <algorithm>

#include "support/text_helpers.h"
#include "support/web_exception.h"

std::string RemoveLineBreaks(const std::string& text) {
    return RemoveChar(RemoveChar(text, '\r'), '\n');
}

std::string RedirectUrl(const std::string& url) {
    return RemoveLineBreaks(url);
}

void CheckReplyHeaderSize(const std::string& headersSoFar, const std::string& block, const CWebMessage& title) {
    std::size_t longest = 0;
    for (std::size_t start = 0; start < block.size();) {
        std::size_t end = block.find('\n', start);
        if (end == std::string::npos) end = block.size();
        longest = std::max(longest, end - start);
        start = end + 1;
    }
    if (longest <= kMaxReplyHeaderLineBytes && headersSoFar.size() + block.size() <= kMaxReplyHeaderBytes) return;
    throw new CWebException(title,
                            CWebMessage("The reply's headers would be longer than a web server accepts (at most ") +
                                std::to_string(kMaxReplyHeaderLineBytes) + " bytes in one header and " +
                                std::to_string(kMaxReplyHeaderBytes) + " bytes in all).");
}
