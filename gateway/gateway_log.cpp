#include "gateway/gateway_log.h"

#include <cstdio>

#include "gateway/error_page.h"
#include "platform/error_words.h"
#include "platform/service_account.h"

namespace ksml {

void ReportUnwritableLog(const std::string& file, long errorNumber, bool settingsUnreadable,
                         const std::string& settingsFile, std::string_view severity, std::string_view text,
                         std::string* pageNote) {
    const std::string account = tessaro::platform::CurrentAccountName();
    std::string why = "ksml could not write its log " + (file.empty() ? std::string("KSML.LOG") : file) +
                      " as the account '" + account + "': error " +
                      tessaro::platform::ErrorNumberWithWords(errorNumber);
    if (settingsUnreadable)
        why += "; this account cannot read the settings " + settingsFile + " either, so it does not know the log folder";
    std::fprintf(stderr, "%s: %.*s: %.*s\n", why.c_str(), static_cast<int>(severity.size()), severity.data(),
                 static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
    if (pageNote && pageNote->empty())
        *pageNote = PageText(why) + ". Its lines go to the web server's error log instead.";
}

}  // namespace ksml
