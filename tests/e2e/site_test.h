#pragma once
// A test with a web site of its own, and small readers of what the site answers.

#include <gtest/gtest.h>

#include <string>

#include "e2e_site.h"

namespace e2e {

// The value of a cookie among the Set-Cookie headers ("" when not set).
inline std::string CookieValue(const HttpResponse& response, const std::string& name) {
    for (const std::string& header : response.Headers("Set-Cookie")) {
        if (header.rfind(name + "=", 0) != 0) continue;
        std::string value = header.substr(name.size() + 1);
        return value.substr(0, value.find(';'));
    }
    return {};
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
