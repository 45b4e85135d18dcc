#include "tools/vultrane/http_server.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <iterator>
#include <list>
#include <mutex>
#include <thread>

#ifdef _WIN32
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600  // WSAPoll
#endif
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format on
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "config/text.h"

namespace vultrane {

namespace {

#ifdef _WIN32
using Socket = SOCKET;
const Socket kNoSocket = INVALID_SOCKET;
void CloseSocket(Socket s) { closesocket(s); }
int PollOne(Socket s, short events, int ms) {
    WSAPOLLFD p{};
    p.fd = s;
    p.events = events;
    return WSAPoll(&p, 1, ms);
}
std::string LastSocketError() { return "error " + std::to_string(WSAGetLastError()); }
bool WouldBlock() { return WSAGetLastError() == WSAEWOULDBLOCK; }
void SetNonBlocking(Socket s) {
    u_long on = 1;
    ioctlsocket(s, FIONBIO, &on);
}
constexpr int kSendFlags = 0;
using IoSize = int;
#else
using Socket = int;
const Socket kNoSocket = -1;
void CloseSocket(Socket s) { close(s); }
int PollOne(Socket s, short events, int ms) {
    pollfd p{};
    p.fd = s;
    p.events = events;
    return poll(&p, 1, ms);
}
std::string LastSocketError() { return std::strerror(errno); }
bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }
void SetNonBlocking(Socket s) { fcntl(s, F_SETFL, fcntl(s, F_GETFL, 0) | O_NONBLOCK); }
constexpr int kSendFlags = MSG_NOSIGNAL;  // a closed peer is an error here, not a signal
using IoSize = ssize_t;
#endif

constexpr size_t kMaxHead = 64 * 1024;
constexpr int kSliceMs = 100;                          // how often a waiting thread looks at the stop flag
constexpr auto kIdleTimeout = std::chrono::seconds(5);  // between requests on a kept-alive connection
constexpr auto kIoTimeout = std::chrono::seconds(20);   // within one request or answer
constexpr int kMaxRequestsPerConnection = 1000;
constexpr size_t kMaxConnections = 64;  // a page uses a handful; more is someone else

const char* Reason(int status) {
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 413: return "Payload Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

std::string TrimBlanks(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
    return s.substr(a, b - a);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool Decode(const std::string& in, bool plusIsBlank, std::string& out) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] == '%') {
            if (i + 2 >= in.size()) return false;
            const int hi = HexValue(in[i + 1]), lo = HexValue(in[i + 2]);
            if (hi < 0 || lo < 0) return false;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        } else if (plusIsBlank && in[i] == '+') {
            out += ' ';
        } else {
            out += in[i];
        }
    }
    return true;
}

}  // namespace

std::string HttpRequest::Header(const std::string& lowerName) const {
    auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
}

std::string HttpRequest::Param(const std::string& name) const {
    auto it = params.find(name);
    return it == params.end() ? std::string() : it->second;
}

bool ParseTarget(const std::string& target, std::string& path, std::map<std::string, std::string>& params) {
    params.clear();
    if (target.empty() || target[0] != '/') return false;
    const size_t q = target.find('?');
    const std::string rawPath = target.substr(0, q), rawQuery = q == std::string::npos ? "" : target.substr(q + 1);
    if (!Decode(rawPath, false, path)) return false;
    for (size_t at = 0; at <= rawQuery.size() && !rawQuery.empty();) {
        size_t end = rawQuery.find('&', at);
        if (end == std::string::npos) end = rawQuery.size();
        const std::string pair = rawQuery.substr(at, end - at);
        if (!pair.empty()) {
            const size_t eq = pair.find('=');
            std::string name, value;
            if (!Decode(pair.substr(0, eq), true, name)) return false;
            if (eq != std::string::npos && !Decode(pair.substr(eq + 1), true, value)) return false;
            params.emplace(name, value);  // the first of a repeated name stays
        }
        at = end + 1;
    }
    return true;
}

struct HttpServer::Impl {
    Handler handler;
    std::function<HttpResponse(int, const std::string&)> errorAnswer;
    size_t maxBody = 0;
    Socket listener = kNoSocket;
    std::atomic<bool> stopping{false};
    std::thread acceptor;
    struct Connection {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    std::mutex mutex;
    std::list<Connection> connections;
#ifdef _WIN32
    bool wsa = false;
#endif

    void AcceptLoop();
    void Serve(Socket s);
    void Reap(bool all);
};

namespace {

using Clock = std::chrono::steady_clock;

// Reads more bytes into `buffer`; false on a closed or failed connection, on the deadline, or
// when the server stops.
bool ReadMore(Socket s, std::string& buffer, Clock::time_point deadline, const std::atomic<bool>& stopping) {
    char chunk[16 * 1024];
    while (!stopping) {
        if (Clock::now() >= deadline) return false;
        const int ready = PollOne(s, POLLIN, kSliceMs);
        if (ready < 0) return false;
        if (ready == 0) continue;
        const IoSize n = recv(s, chunk, sizeof chunk, 0);
        if (n < 0 && WouldBlock()) continue;
        if (n <= 0) return false;
        buffer.append(chunk, static_cast<size_t>(n));
        return true;
    }
    return false;
}

bool SendAll(Socket s, const std::string& bytes, const std::atomic<bool>& stopping) {
    const Clock::time_point deadline = Clock::now() + kIoTimeout;
    size_t sent = 0;
    while (sent < bytes.size()) {
        if (stopping || Clock::now() >= deadline) return false;
        const int ready = PollOne(s, POLLOUT, kSliceMs);
        if (ready < 0) return false;
        if (ready == 0) continue;
        const size_t want = std::min<size_t>(bytes.size() - sent, 1u << 20);
        // Non-blocking: a client that stops reading holds this thread until the deadline or
        // the stop, never longer.
        const IoSize n = send(s, bytes.data() + sent, static_cast<int>(want), kSendFlags);
        if (n < 0 && WouldBlock()) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

// After refusing a request whose bytes may still be arriving: closing at once would make the
// system reset the connection, and the client could lose the answer. Say no more, then read and
// drop what comes for a short while.
void LingeringClose(Socket s) {
#ifdef _WIN32
    shutdown(s, SD_SEND);
#else
    shutdown(s, SHUT_WR);
#endif
    const Clock::time_point until = Clock::now() + std::chrono::seconds(1);
    char sink[16 * 1024];
    size_t dropped = 0;
    while (Clock::now() < until && dropped < (16u << 20)) {
        if (PollOne(s, POLLIN, kSliceMs) <= 0) continue;
        const IoSize n = recv(s, sink, sizeof sink, 0);
        if (n < 0 && WouldBlock()) continue;
        if (n <= 0) return;
        dropped += static_cast<size_t>(n);
    }
}

std::string Serialise(const HttpResponse& r, bool head, bool keepAlive) {
    std::string out = "HTTP/1.1 " + std::to_string(r.status) + " " + Reason(r.status) + "\r\n";
    out += "Content-Type: " + r.contentType + "\r\n";
    out += "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
    for (const auto& [name, value] : r.headers) out += name + ": " + value + "\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    if (!head) out += r.body;
    return out;
}

}  // namespace

void HttpServer::Impl::AcceptLoop() {
    while (!stopping) {
        Reap(false);
        const int ready = PollOne(listener, POLLIN, kSliceMs);
        if (ready <= 0) continue;
        sockaddr_in peer{};
#ifdef _WIN32
        int length = sizeof peer;
#else
        socklen_t length = sizeof peer;
#endif
        const Socket s = accept(listener, reinterpret_cast<sockaddr*>(&peer), &length);
        if (s == kNoSocket) continue;
        // An answer is written as head then body; without this the second waits for an ACK.
        int one = 1;
        setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
        SetNonBlocking(s);
        bool full;
        {
            std::lock_guard<std::mutex> lock(mutex);
            full = connections.size() >= kMaxConnections;
        }
        if (full) {
            SendAll(s, Serialise(errorAnswer(503, "too many connections"), false, false), stopping);
            CloseSocket(s);
            continue;
        }
        std::lock_guard<std::mutex> lock(mutex);
        connections.emplace_back();
        Connection& c = connections.back();
        c.thread = std::thread([this, s, &c] {
            Serve(s);
            CloseSocket(s);
            c.done = true;
        });
    }
}

void HttpServer::Impl::Reap(bool all) {
    std::list<Connection> finished;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto it = connections.begin(); it != connections.end();) {
            auto next = std::next(it);
            if (all || it->done) finished.splice(finished.end(), connections, it);
            it = next;
        }
    }
    for (Connection& c : finished)
        if (c.thread.joinable()) c.thread.join();
}

void HttpServer::Impl::Serve(Socket s) {
    std::string buffer;
    for (int served = 0; served < kMaxRequestsPerConnection && !stopping; ++served) {
        // The head: up to the blank line, within its limit and the idle time.
        const Clock::time_point idleUntil = Clock::now() + (served == 0 ? kIoTimeout : kIdleTimeout);
        size_t headEnd;
        while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
            if (buffer.size() > kMaxHead) {
                SendAll(s, Serialise(errorAnswer(431, "request head too large"), false, false), stopping);
                LingeringClose(s);
                return;
            }
            if (!ReadMore(s, buffer, idleUntil, stopping)) return;
        }
        if (headEnd > kMaxHead) {
            SendAll(s, Serialise(errorAnswer(431, "request head too large"), false, false), stopping);
            LingeringClose(s);
            return;
        }
        const std::string head = buffer.substr(0, headEnd);
        buffer.erase(0, headEnd + 4);
        auto refuse = [&](int status, const std::string& why) {
            SendAll(s, Serialise(errorAnswer(status, why), false, false), stopping);
            LingeringClose(s);
        };

        HttpRequest req;
        std::string version;
        {
            const size_t lineEnd = head.find("\r\n");
            const std::string line = head.substr(0, lineEnd);
            const size_t a = line.find(' '), b = a == std::string::npos ? a : line.find(' ', a + 1);
            if (a == std::string::npos || b == std::string::npos || line.find(' ', b + 1) != std::string::npos)
                return refuse(400, "bad request");
            req.method = line.substr(0, a);
            req.target = line.substr(a + 1, b - a - 1);
            version = line.substr(b + 1);
            if ((version != "HTTP/1.1" && version != "HTTP/1.0") || req.method.empty() ||
                !std::all_of(req.method.begin(), req.method.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
                return refuse(400, "bad request");
            if (!ParseTarget(req.target, req.path, req.params)) return refuse(400, "bad request");
            for (size_t at = lineEnd == std::string::npos ? head.size() : lineEnd + 2; at < head.size();) {
                size_t end = head.find("\r\n", at);
                if (end == std::string::npos) end = head.size();
                const std::string field = head.substr(at, end - at);
                at = end + 2;
                const size_t colon = field.find(':');
                if (colon == std::string::npos || colon == 0 || field[0] == ' ' || field[0] == '\t')
                    return refuse(400, "bad request");
                const std::string name = ToLower(field.substr(0, colon));
                const std::string value = TrimBlanks(field.substr(colon + 1));
                // Two Host or length fields could be read one way here and another by a proxy.
                if ((name == "host" || name == "content-length") && req.headers.count(name))
                    return refuse(400, "bad request");
                req.headers.emplace(name, value);
            }
        }
        if (version == "HTTP/1.1" && !req.HasHeader("host")) return refuse(400, "bad request");
        if (req.HasHeader("transfer-encoding")) return refuse(501, "chunked request bodies are not accepted");
        size_t length = 0;
        if (req.HasHeader("content-length")) {
            const std::string v = req.Header("content-length");
            if (v.empty() || v.size() > 12 || !std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return refuse(400, "bad request");
            length = static_cast<size_t>(std::stoull(v));
            if (length > maxBody) return refuse(413, "request too large");
        }
        const Clock::time_point bodyUntil = Clock::now() + kIoTimeout;
        while (buffer.size() < length)
            if (!ReadMore(s, buffer, bodyUntil, stopping)) return;
        req.body = buffer.substr(0, length);
        buffer.erase(0, length);

        const std::string connection = ToLower(req.Header("connection"));
        const bool keepAlive = version == "HTTP/1.1" ? connection != "close" : connection == "keep-alive";
        HttpResponse res;
        try {
            res = handler(req);
        } catch (const std::exception& e) {
            res = errorAnswer(500, std::string("internal error: ") + e.what());
        } catch (...) {
            res = errorAnswer(500, "internal error");
        }
        const bool last = !keepAlive || served + 1 == kMaxRequestsPerConnection;
        if (!SendAll(s, Serialise(res, req.method == "HEAD", !last), stopping) || last) return;
    }
}

HttpServer::HttpServer(Handler handler, std::function<HttpResponse(int, const std::string&)> errorAnswer, size_t maxBody)
    : impl_(std::make_unique<Impl>()) {
    impl_->handler = std::move(handler);
    impl_->errorAnswer = std::move(errorAnswer);
    impl_->maxBody = maxBody;
}

HttpServer::~HttpServer() { Stop(); }

bool HttpServer::Start(int port, std::string& error) {
    if (port < 0 || port > 65535) {
        error = "port " + std::to_string(port) + " is not 0-65535";
        return false;
    }
#ifdef _WIN32
    if (!impl_->wsa) {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
            error = "cannot start Windows sockets";
            return false;
        }
        impl_->wsa = true;
    }
#endif
    const Socket s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == kNoSocket) {
        error = "cannot open a socket: " + LastSocketError();
        return false;
    }
    int one = 1;
#ifdef _WIN32
    // No other program may bind the same port beside this one.
    setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one), sizeof one);
#else
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
#endif
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(s, SOMAXCONN) != 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port) + (port ? " (in use?)" : "") + ": " + LastSocketError();
        CloseSocket(s);
        return false;
    }
#ifdef _WIN32
    int length = sizeof address;
#else
    socklen_t length = sizeof address;
#endif
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    impl_->listener = s;
    impl_->stopping = false;
    impl_->acceptor = std::thread([this] { impl_->AcceptLoop(); });
    return true;
}

void HttpServer::Stop() {
    if (!impl_) return;
    impl_->stopping = true;
    if (impl_->acceptor.joinable()) impl_->acceptor.join();
    impl_->Reap(true);
    if (impl_->listener != kNoSocket) {
        CloseSocket(impl_->listener);
        impl_->listener = kNoSocket;
    }
#ifdef _WIN32
    if (impl_->wsa) {
        WSACleanup();
        impl_->wsa = false;
    }
#endif
}

}  // namespace vultrane
