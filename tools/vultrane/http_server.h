// A small HTTP/1.1 server for the studio's page: one listening socket on a loopback address, a
// thread per connection, keep-alive, bodies by Content-Length only. The same code on POSIX and
// on Windows (Winsock), so that vultrane.exe serves the studio as the Linux build does.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vultrane {

struct HttpRequest {
    std::string method;  // as sent: "GET", "POST", ...
    std::string target;  // as sent: "/api/slot?slot=3"
    std::string path;    // the target's path, percent-decoded
    std::map<std::string, std::string> params;   // the query, decoded; the first of a repeated name
    std::map<std::string, std::string> headers;  // names in lower case; the first of a repeated one
    std::string body;
    // Empty when absent.
    std::string Header(const std::string& lowerName) const;
    std::string Param(const std::string& name) const;
    bool HasHeader(const std::string& lowerName) const { return headers.count(lowerName) != 0; }
};

struct HttpResponse {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // beyond Content-Type and -Length
};

// The request's target split into a decoded path and its query parameters. False for a target
// that is not an absolute path or holds a malformed escape.
bool ParseTarget(const std::string& target, std::string& path, std::map<std::string, std::string>& params);

class HttpServer {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;
    // `handler` answers every well-formed request; the server itself answers what does not get
    // that far: 400 (malformed), 413 (body over `maxBody`), 431 (head over 64 KiB), 501 (chunked
    // bodies), each with `errorBody(status, reason)` as its JSON body.
    HttpServer(Handler handler, std::function<HttpResponse(int, const std::string&)> errorAnswer, size_t maxBody);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds 127.0.0.1:port (0: a free port) and starts serving on a thread of its own.
    bool Start(int port, std::string& error);
    // Stops accepting, ends every connection and waits for their threads. Safe to call twice.
    void Stop();
    int Port() const { return port_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    int port_ = 0;
};

}  // namespace vultrane
