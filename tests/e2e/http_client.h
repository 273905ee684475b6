#pragma once
// A minimal HTTP/1.0 client for the end-to-end tests: one request per connection, the whole
// answer read until the server closes.

#include <string>
#include <vector>

namespace e2e {

struct HttpResponse {
    int status = 0;       // 0 when no answer came
    std::string headers;  // the header block as received, without the status line
    std::string body;
    std::string error;  // why there is no answer

    // The first value of a header (name compared without regard to case), or "".
    std::string Header(const std::string& name) const;
    // Every value of a header.
    std::vector<std::string> Headers(const std::string& name) const;
};

HttpResponse HttpRequest(int port, const std::string& method, const std::string& target,
                         const std::vector<std::string>& headers = {}, const std::string& body = "");

// The status a page must come with: the engine's and the gateway's error pages report a failure
// (500), every other page a success (200).
inline int StatusOfPage(const std::string& body) {
    return body.find("<TITLE>Error Occurred While Processing Request</TITLE>") != std::string::npos ? 500 : 200;
}

inline HttpResponse HttpGet(int port, const std::string& target) {
    return HttpRequest(port, "GET", target);
}

// A multipart/form-data body with one file field; the boundary is returned in *contentType.
std::string MultipartFileBody(const std::string& field, const std::string& fileName, const std::string& data,
                              std::string* contentType);

// Every byte but letters and digits percent-encoded, as a browser sends a form value.
std::string FormEncode(const std::string& text);

}  // namespace e2e
