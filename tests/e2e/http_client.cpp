#include "http_client.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace e2e {

namespace {

bool SendAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

std::vector<std::string> HttpResponse::Headers(const std::string& name) const {
    std::vector<std::string> values;
    size_t at = 0;
    while (at < headers.size()) {
        size_t end = headers.find("\r\n", at);
        if (end == std::string::npos) end = headers.size();
        std::string line = headers.substr(at, end - at);
        at = end + 2;
        size_t colon = line.find(':');
        if (colon == std::string::npos || colon != name.size()) continue;
        if (::strncasecmp(line.c_str(), name.c_str(), name.size()) != 0) continue;
        size_t value = line.find_first_not_of(' ', colon + 1);
        values.push_back(value == std::string::npos ? "" : line.substr(value));
    }
    return values;
}

std::string HttpResponse::Header(const std::string& name) const {
    auto values = Headers(name);
    return values.empty() ? "" : values.front();
}

HttpResponse HttpRequest(int port, const std::string& method, const std::string& target,
                         const std::vector<std::string>& headers, const std::string& body) {
    HttpResponse response;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval timeout{120, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        response.error = std::string("connect: ") + std::strerror(errno);
        ::close(fd);
        return response;
    }
    std::string request =
        method + " " + target + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\nConnection: close\r\n";
    for (const std::string& h : headers) request += h + "\r\n";
    if (!body.empty() || method == "POST") request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    request += "\r\n";
    request += body;
    if (!SendAll(fd, request)) {
        response.error = std::string("send: ") + std::strerror(errno);
        ::close(fd);
        return response;
    }
    std::string all;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            response.error = std::string("recv: ") + std::strerror(errno);
            break;
        }
        if (n == 0) break;
        all.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    size_t headerEnd = all.find("\r\n\r\n");
    size_t lineEnd = all.find("\r\n");
    if (headerEnd == std::string::npos || lineEnd == std::string::npos || all.compare(0, 5, "HTTP/") != 0) {
        if (response.error.empty()) response.error = "no HTTP answer: " + all.substr(0, 200);
        return response;
    }
    size_t space = all.find(' ');
    response.status = std::atoi(all.c_str() + space + 1);
    response.headers = lineEnd < headerEnd ? all.substr(lineEnd + 2, headerEnd + 2 - (lineEnd + 2)) : "";
    response.body = all.substr(headerEnd + 4);
    return response;
}

std::string MultipartFileBody(const std::string& field, const std::string& fileName, const std::string& data,
                              std::string* contentType) {
    const std::string boundary = "----TessaroE2EBoundary7d93b2";
    *contentType = "multipart/form-data; boundary=" + boundary;
    std::string body = "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"" + field + "\"; filename=\"" + fileName + "\"\r\n";
    body += "Content-Type: application/octet-stream\r\n\r\n";
    body += data;
    body += "\r\n--" + boundary + "--\r\n";
    return body;
}

std::string FormEncode(const std::string& text) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

}  // namespace e2e
