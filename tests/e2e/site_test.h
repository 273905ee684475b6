#pragma once
// A test with a web site of its own, and small readers of what the site answers.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "e2e_site.h"

namespace e2e {

// The time gone since start, as a test that bounds a page's wait reads it.
inline std::chrono::milliseconds Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
}

// The value of a cookie among the Set-Cookie headers ("" when not set).
inline std::string CookieValue(const HttpResponse& response, const std::string& name) {
    for (const std::string& header : response.Headers("Set-Cookie")) {
        if (header.rfind(name + "=", 0) != 0) continue;
        std::string value = header.substr(name.size() + 1);
        return value.substr(0, value.find(';'));
    }
    return {};
}

// The page without the template lines an error page quotes (its <PRE> blocks), to judge what
// the template itself wrote.
inline std::string WithoutQuotedLines(std::string body) {
    for (std::size_t at = body.find("<PRE>"); at != std::string::npos; at = body.find("<PRE>", at)) {
        std::size_t end = body.find("</PRE>", at);
        if (end == std::string::npos) break;
        body.erase(at, end + 6 - at);
    }
    return body;
}

class SiteTest : public ::testing::Test {
protected:
    // Writes a document below the site's root and asks for it, with an optional query string.
    HttpResponse Page(const std::string& file, const std::string& text, const std::string& query = "") {
        site.WriteDocument(file, text);
        return site.Get("/" + file + (query.empty() ? "" : "?" + query));
    }

    Site site;
};

}  // namespace e2e
