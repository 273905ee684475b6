#include "engine/templates/core/reply_header_rules.h"

#include "support/text_helpers.h"
#include "support/web_exception.h"

std::string RemoveLineBreaks(const std::string& text) {
    return RemoveChar(RemoveChar(text, '\r'), '\n');
}

std::string RedirectUrl(const std::string& url) {
    return RemoveLineBreaks(url);
}

void CheckReplyHeaderSize(const std::string& headersSoFar, const std::string& block, const CWebMessage& title) {
    CWebMessage overrun = CRequestBudget::HeaderOverrun(headersSoFar + block);
    if (!overrun.Empty()) throw new CWebException(title, overrun);
}
