// The studio's HTTP server over raw connections: what a browser sends, and what a hostile or
// broken client sends.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "tools/vultrane/http_server.h"

namespace {

using vultrane::HttpRequest;
using vultrane::HttpResponse;
using vultrane::HttpServer;

TEST(HttpTarget, PathAndQueryDecoded) {
    std::string path;
    std::map<std::string, std::string> params;
    ASSERT_TRUE(vultrane::ParseTarget("/a%20b/%2e%2e?x=1&y=a+b%26c&x=2&flag&=v", path, params));
    EXPECT_EQ(path, "/a b/..");  // decoded; the page's keys never match such a path
    EXPECT_EQ(params["x"], "1");  // the first of a repeated name
    EXPECT_EQ(params["y"], "a b&c");
    EXPECT_EQ(params.count("flag"), 1u);
    EXPECT_EQ(params[""], "v");
    for (const char* bad : {"", "a/b", "/%", "/%4", "/%zz", "/?x=%g0", "http://host/"})
        EXPECT_FALSE(vultrane::ParseTarget(bad, path, params)) << bad;
}

class RawHttp : public ::testing::Test {
protected:
    void SetUp() override {
        server = std::make_unique<HttpServer>(
            [this](const HttpRequest& r) {
                if (r.path == "/throw") throw std::runtime_error("boom");
                if (r.path == "/big") {
                    HttpResponse big;
                    big.body.assign(32u << 20, 'x');
                    return big;
                }
                HttpResponse res;
                res.body = r.method + " " + r.path + " [" + r.body + "] " + r.Param("q") + " " + r.Header("x-h");
                ++handled;
                return res;
            },
            [](int status, const std::string& why) {
                HttpResponse res;
                res.status = status;
                res.contentType = "application/json";
                res.body = nlohmann::json{{"error", why}}.dump();
                return res;
            },
            64);
        std::string error;
        ASSERT_TRUE(server->Start(0, error)) << error;
    }

    int Connect() const {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(server->Port()));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        return s;
    }
    // Sends `text` and reads until `enough` says so, the server closes, or `waitMs` pass without
    // a byte (the time a loaded machine may take; a test waits that long only when it fails).
    static std::string Exchange(int s, const std::string& text, const std::function<bool(const std::string&)>& enough = {},
                                int waitMs = 10000) {
        if (!text.empty()) EXPECT_EQ(send(s, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
        std::string got;
        char buf[4096];
        while (!(enough && enough(got))) {
            pollfd p{s, POLLIN, 0};
            if (poll(&p, 1, waitMs) <= 0) break;
            const ssize_t n = recv(s, buf, sizeof buf, 0);
            if (n <= 0) break;
            got.append(buf, static_cast<size_t>(n));
        }
        return got;
    }
    // One request on a connection of its own; the answer ends where the server closes.
    std::string Once(const std::string& text) {
        const int s = Connect();
        std::string got = Exchange(s, text);
        close(s);
        return got;
    }
    static int Status(const std::string& answer) { return answer.size() > 12 ? std::stoi(answer.substr(9, 3)) : 0; }
    // Whole answers so far: heads, each followed by as many body bytes as its length says.
    static size_t Answers(const std::string& text) {
        size_t n = 0;
        for (size_t at = 0;;) {
            const size_t end = text.find("\r\n\r\n", at);
            if (end == std::string::npos) return n;
            const std::string head = text.substr(at, end - at);
            const size_t cl = head.find("Content-Length: ");
            const size_t length = cl == std::string::npos ? 0 : std::stoul(head.substr(cl + 16));
            at = end + 4 + length;
            if (at > text.size()) return n;
            ++n;
        }
    }

    std::unique_ptr<HttpServer> server;
    std::atomic<int> handled{0};
};

TEST_F(RawHttp, KeepAlivePipeliningBodiesInPiecesAndHead) {
    const int s = Connect();
    // Two requests in one write, the second with a body and a query, then a HEAD.
    const std::string answers = Exchange(s,
                                         "GET /one HTTP/1.1\r\nHost: h\r\n\r\n"
                                         "POST /two?q=%41 HTTP/1.1\r\nHost: h\r\nX-H:  v \r\nContent-Length: 5\r\n\r\nhello"
                                         "HEAD /three HTTP/1.1\r\nHost: h\r\n\r\n",
                                         [](const std::string& t) {
                                             // The last answer, to HEAD, is a head alone.
                                             return Answers(t) == 2 && t.find("HTTP/1.1", t.rfind("POST /two")) != std::string::npos &&
                                                    t.size() >= 4 && t.compare(t.size() - 4, 4, "\r\n\r\n") == 0;
                                         });
    EXPECT_NE(answers.find("GET /one [] "), std::string::npos) << answers;
    EXPECT_NE(answers.find("POST /two [hello] A v"), std::string::npos) << answers;
    EXPECT_EQ(answers.find("HEAD /three"), std::string::npos) << answers;  // no body for HEAD
    EXPECT_NE(answers.find("Content-Length: 16\r\n"), std::string::npos) << answers;  // but its length
    // A body that arrives in pieces, on the same connection.
    const std::string first = "POST /p HTTP/1.1\r\nHost: h\r\nContent-Length: 6\r\n\r\nab";
    ASSERT_EQ(send(s, first.data(), first.size(), MSG_NOSIGNAL), static_cast<ssize_t>(first.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_NE(Exchange(s, "cdef", [](const std::string& t) { return Answers(t) == 1; }).find("POST /p [abcdef]"),
              std::string::npos);
    close(s);
    EXPECT_EQ(handled, 4);
    // HTTP/1.0 closes after one answer unless asked to keep alive.
    const std::string old = Once("GET /old HTTP/1.0\r\n\r\n");
    EXPECT_NE(old.find("Connection: close"), std::string::npos) << old;
}

TEST_F(RawHttp, BrokenAndHostileRequestsGetTheirStatusAndTheServerLivesOn) {
    struct Case {
        std::string request;
        int status;
    };
    const Case cases[] = {
        {"NOT HTTP AT ALL\r\n\r\n", 400},
        {"GET /x HTTP/2.0\r\nHost: h\r\n\r\n", 400},
        {"get /x HTTP/1.1\r\nHost: h\r\n\r\n", 400},
        {"GET x HTTP/1.1\r\nHost: h\r\n\r\n", 400},
        {"GET /%zz HTTP/1.1\r\nHost: h\r\n\r\n", 400},
        {"GET /x HTTP/1.1\r\n\r\n", 400},                                    // 1.1 without Host
        {"GET /x HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n", 400},              // two Hosts
        {"GET /x HTTP/1.1\r\nHost: h\r\nno colon here\r\n\r\n", 400},
        {"POST /x HTTP/1.1\r\nHost: h\r\nContent-Length: -1\r\n\r\n", 400},
        {"POST /x HTTP/1.1\r\nHost: h\r\nContent-Length: 1\r\nContent-Length: 1\r\n\r\nx", 400},
        {"POST /x HTTP/1.1\r\nHost: h\r\nContent-Length: 65\r\n\r\n", 413},  // over this server's 64
        {"POST /x HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", 501},
        {"GET /x HTTP/1.1\r\nHost: h\r\nX: " + std::string(70000, 'a') + "\r\n\r\n", 431},
        {"GET /throw HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n", 500},  // answered, then closed as asked
    };
    for (const Case& c : cases) {
        const std::string answer = Once(c.request);
        EXPECT_EQ(Status(answer), c.status) << c.request.substr(0, 80) << "\n" << answer;
        const size_t body = answer.find("\r\n\r\n");
        ASSERT_NE(body, std::string::npos) << answer;
        EXPECT_TRUE(nlohmann::json::parse(answer.substr(body + 4), nullptr, false).contains("error")) << answer;
    }
    EXPECT_EQ(handled, 0);
    // A client that sends half a head and goes away, and one that connects and says nothing:
    // neither keeps the server from answering the next.
    {
        const int half = Connect(), silent = Connect();
        Exchange(half, "GET /x HTT", [](const std::string&) { return true; });
        close(half);
        const int next = Connect();
        EXPECT_EQ(Status(Exchange(next, "GET /ok HTTP/1.1\r\nHost: h\r\n\r\n", [](const std::string& t) { return Answers(t) == 1; })),
                  200);
        close(next);
        close(silent);
    }
    EXPECT_EQ(handled, 1);
}

TEST_F(RawHttp, ManyConnectionsAndAClientThatDoesNotReadCannotHoldTheServer) {
    // A page uses a handful of connections; beyond 64 open ones the next is told to come back.
    std::vector<int> open;
    for (int i = 0; i < 64; ++i) open.push_back(Connect());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // all accepted
    const std::string refused = Once("GET /x HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(Status(refused), 503) << refused;
    for (int s : open) close(s);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // their threads notice
    EXPECT_EQ(Status(Once("GET /x HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n")), 200);

    // 32 MiB asked for and never read: the answer waits, and Stop() still ends it at once.
    const int greedy = Connect();
    const std::string ask = "GET /big HTTP/1.1\r\nHost: h\r\n\r\n";
    ASSERT_EQ(send(greedy, ask.data(), ask.size(), MSG_NOSIGNAL), static_cast<ssize_t>(ask.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    server->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    close(greedy);
}

TEST_F(RawHttp, StopEndsOpenConnectionsAndTheListener) {
    const int idle = Connect();
    EXPECT_EQ(Status(Exchange(idle, "GET /a HTTP/1.1\r\nHost: h\r\n\r\n", [](const std::string& t) { return Answers(t) == 1; })),
              200);
    const auto start = std::chrono::steady_clock::now();
    server->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    // The kept-alive connection was closed by the server.
    char c;
    EXPECT_LE(recv(idle, &c, 1, 0), 0);
    close(idle);
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(server->Port()));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_NE(connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    close(s);
    server->Stop();  // twice is fine
    std::string error;
    HttpServer other([](const HttpRequest&) { return HttpResponse{}; }, [](int, const std::string&) { return HttpResponse{}; }, 1);
    EXPECT_FALSE(other.Start(70000, error));
    EXPECT_NE(error.find("70000"), std::string::npos);
}

}  // namespace
