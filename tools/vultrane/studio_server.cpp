// vultrane studio: the HTTP side (loopback only, guarded) and the subcommand.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on
#else
#include <spawn.h>
#include <sys/wait.h>
extern char** environ;
#endif

#include "tools/vultrane/commands.h"
#include "tools/vultrane/http_server.h"
#include "tools/vultrane/studio.h"

namespace vultrane {

namespace {

constexpr auto kWatchInterval = std::chrono::milliseconds(400);
constexpr size_t kMaxBody = 4u << 20;

HttpResponse Send(const StudioAnswer& a) {
    HttpResponse r;
    r.status = a.status;
    r.contentType = a.contentType;
    r.body = a.body;
    r.headers = {{"Cache-Control", "no-store"}, {"X-Content-Type-Options", "nosniff"}};
    return r;
}

HttpResponse ErrorResponse(int status, const std::string& why) { return Send(ErrorAnswer(status, why)); }

RequestFacts Facts(const HttpRequest& req) {
    RequestFacts f;
    f.method = req.method;
    f.path = req.path;
    f.host = req.Header("host");
    f.origin = req.Header("origin");
    f.token = req.HasHeader("x-vtr-token") ? req.Header("x-vtr-token") : req.Param("token");
    return f;
}

// The API: method, path and the studio's answer.
struct ApiRoute {
    bool post;
    const char* path;
    StudioAnswer (*answer)(Studio&, const HttpRequest&);
};
const ApiRoute kApi[] = {
    {false, "/api/state", [](Studio& s, const HttpRequest&) { return s.State(); }},
    {false, "/api/generation", [](Studio& s, const HttpRequest&) { return JsonAnswer({{"generation", s.Generation()}}); }},
    {false, "/api/mesh", [](Studio& s, const HttpRequest&) { return s.Mesh(); }},
    {false, "/api/preset", [](Studio& s, const HttpRequest& r) { return s.LoadPreset(r.Param("index")); }},
    {false, "/api/slot", [](Studio& s, const HttpRequest& r) { return s.LoadSlot(r.Param("slot")); }},
    {true, "/api/merge", [](Studio& s, const HttpRequest& r) { return s.Merge(r.body); }},
    {true, "/api/slot", [](Studio& s, const HttpRequest& r) { return s.SaveSlot(r.body); }},
    {true, "/api/player", [](Studio& s, const HttpRequest& r) { return s.SetPlayer(r.body); }},
};

// Every request after the guard: the API by method and path, else a file of the built-in page.
// A request's path is a key, never a file name.
HttpResponse Route(Studio& studio, const HttpRequest& req) {
    const std::string& p = req.path;
    const bool get = req.method == "GET" || req.method == "HEAD", post = req.method == "POST";
    if (p.rfind("/api/", 0) == 0) {
        bool known = false;
        for (const ApiRoute& r : kApi) {
            if (p != r.path) continue;
            known = true;
            if (r.post ? post : get) return Send(r.answer(studio, req));
        }
        return ErrorResponse(known ? 405 : 404, known ? "method not allowed" : "no such page");
    }
    if (!get) return ErrorResponse(405, "method not allowed");
    const EmbeddedFile* f = FindEmbeddedFile(p);
    if (!f) return ErrorResponse(404, "no such page");
    return Send({200, std::string(reinterpret_cast<const char*>(f->data), f->size), f->contentType});
}

}  // namespace

struct StudioServer::Impl {
    explicit Impl(Studio& s) : studio(s) {}
    Studio& studio;
    std::unique_ptr<HttpServer> server;
    std::thread watcher;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
};

StudioServer::StudioServer(Studio& studio, int port, std::string token)
    : impl_(std::make_unique<Impl>(studio)), port_(port), token_(std::move(token)) {}

StudioServer::~StudioServer() { Stop(); }

std::string StudioServer::Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/?token=" + token_; }

bool StudioServer::Start(std::string& error) {
    Studio& studio = impl_->studio;
    impl_->server = std::make_unique<HttpServer>(
        [this, &studio](const HttpRequest& req) {
            if (auto refused = GuardRequest(Facts(req), port_, token_)) return Send(*refused);
            return Route(studio, req);
        },
        ErrorResponse, kMaxBody);
    if (!impl_->server->Start(port_, error)) {
        impl_->server.reset();
        return false;
    }
    port_ = impl_->server->Port();
    impl_->watcher = std::thread([this] {
        std::unique_lock<std::mutex> lock(impl_->mutex);
        while (!impl_->stopping) {
            impl_->wake.wait_for(lock, kWatchInterval);
            if (impl_->stopping) break;
            lock.unlock();
            impl_->studio.ReloadIfChanged();
            lock.lock();
        }
    });
    return true;
}

void StudioServer::Stop() {
    if (!impl_) return;
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->wake.notify_all();
    if (impl_->server) impl_->server->Stop();
    if (impl_->watcher.joinable()) impl_->watcher.join();
}

namespace {

std::atomic<bool> gInterrupted{false};
extern "C" void OnInterrupt(int) { gInterrupted = true; }

void OpenBrowser(const std::string& url) {
#ifdef _WIN32
    ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
#else
    pid_t pid = 0;
    std::string program = "xdg-open";
    char* argv[] = {program.data(), const_cast<char*>(url.c_str()), nullptr};
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0)
        std::fprintf(stderr, "vultrane: cannot start xdg-open; open the address above yourself\n");
#endif
}

struct StudioCli {
    std::string folder, race, sex = "female", world;
    int port = 0;
    bool open = false;
};

void Execute(const StudioCli& o, Run& run) {
    if (o.port < 0 || o.port > 65535) throw UsageError("--port must be 0-65535");
    if (!o.world.empty()) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(o.world, ec)) throw UsageError("--world: '" + o.world + "' is not a file");
    }
    StudioOptions options{o.folder, o.race, ParseSex(o.sex, "--sex"), o.world};
    if (o.world.empty() && o.race.empty()) {
        // The page has a race choice; it starts on the first race the folder defines.
        options.race = FirstRaceName(o.folder);
        if (options.race.empty()) throw UsageError("the folder's race definitions name no race; give --race NAME");
    }
    Studio studio(options);
    StudioServer server(studio, o.port, NewToken());
    std::string error;
    if (!server.Start(error)) throw std::runtime_error(error);
    std::printf("%s\n", server.Url().c_str());
    std::printf("serving %s for race %s; Ctrl+C stops\n", options.folder.c_str(),
                o.world.empty() ? options.race.c_str() : ("of " + o.world).c_str());
    std::fflush(stdout);
    if (o.open) OpenBrowser(server.Url());
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    while (!gInterrupted) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.Stop();
#ifndef _WIN32
    // A browser started by --open is not waited for, only reaped.
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
#endif
    std::printf("stopped\n");
    run.exitCode = 0;
}

}  // namespace

void AddStudioCommand(CLI::App& app, Run& run) {
    auto o = std::make_shared<StudioCli>();
    CLI::App* c = app.add_subcommand("studio", "A local web page with the race set's sliders on the merged 3D head, live");
    c->add_option("DATA_FOLDER", o->folder, "a mod's Data folder (Meshes/Vultrane/) or a game folder")->required();
    c->add_option("--race", o->race, "the player's race (display name and editor id); default: the first one defined");
    c->add_option("--sex", o->sex, "female or male (default female)");
    c->add_option("--world", o->world, "a host-simulator world file whose player is used");
    c->add_option("--port", o->port, "port on 127.0.0.1 (default: a free one)");
    c->add_flag("--open", o->open, "open the page in the default browser");
    c->footer("Prints the page's address (with this run's token) on a line starting http://127.0.0.1: and serves "
              "until interrupted. Exit status: 0 stopped, 1 could not start, 2 bad arguments.");
    c->callback([o, &run] { Execute(*o, run); });
}

}  // namespace vultrane
