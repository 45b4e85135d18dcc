// vultrane studio: the HTTP side (loopback only, guarded) and the subcommand.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <thread>

#include <httplib.h>

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
#include "tools/vultrane/studio.h"

namespace vultrane {

namespace {

constexpr auto kWatchInterval = std::chrono::milliseconds(400);

void Send(httplib::Response& res, const StudioAnswer& a) {
    res.status = a.status;
    res.set_content(a.body, a.contentType.c_str());
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
}

RequestFacts Facts(const httplib::Request& req) {
    RequestFacts f;
    f.method = req.method;
    f.path = req.path;
    f.host = req.get_header_value("Host");
    f.origin = req.get_header_value("Origin");
    f.token = req.has_header("X-Vtr-Token") ? req.get_header_value("X-Vtr-Token") : req.get_param_value("token");
    return f;
}

}  // namespace

struct StudioServer::Impl {
    explicit Impl(Studio& s) : studio(s) {}
    Studio& studio;
    httplib::Server server;
    std::thread listener, watcher;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::atomic<bool> listenerDone{false};
};

StudioServer::StudioServer(Studio& studio, int port, std::string token)
    : impl_(std::make_unique<Impl>(studio)), port_(port), token_(std::move(token)) {}

StudioServer::~StudioServer() { Stop(); }

std::string StudioServer::Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/?token=" + token_; }

bool StudioServer::Start(std::string& error) {
    httplib::Server& s = impl_->server;
    Studio& studio = impl_->studio;
    s.set_payload_max_length(4u << 20);
    s.set_keep_alive_max_count(1000);
    // A slider answer is written as headers then body; without this the second waits for an ACK.
    s.set_tcp_nodelay(true);
    s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (auto refused = GuardRequest(Facts(req), port_, token_)) {
            Send(res, *refused);
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    s.Get("/api/state", [&studio](const httplib::Request&, httplib::Response& res) { Send(res, studio.State()); });
    s.Get("/api/generation", [&studio](const httplib::Request&, httplib::Response& res) {
        Send(res, JsonAnswer({{"generation", studio.Generation()}}));
    });
    s.Get("/api/mesh", [&studio](const httplib::Request&, httplib::Response& res) { Send(res, studio.Mesh()); });
    s.Post("/api/merge",
           [&studio](const httplib::Request& req, httplib::Response& res) { Send(res, studio.Merge(req.body)); });
    s.Get("/api/preset", [&studio](const httplib::Request& req, httplib::Response& res) {
        Send(res, studio.LoadPreset(req.get_param_value("index")));
    });
    s.Get("/api/slot", [&studio](const httplib::Request& req, httplib::Response& res) {
        Send(res, studio.LoadSlot(req.get_param_value("slot")));
    });
    s.Post("/api/slot",
           [&studio](const httplib::Request& req, httplib::Response& res) { Send(res, studio.SaveSlot(req.body)); });
    s.Post("/api/player",
           [&studio](const httplib::Request& req, httplib::Response& res) { Send(res, studio.SetPlayer(req.body)); });
    // Only the built-in files are served: a request's path is a key, never a file name.
    s.Get(".*", [](const httplib::Request& req, httplib::Response& res) {
        const EmbeddedFile* f = FindEmbeddedFile(req.path);
        if (!f) return Send(res, ErrorAnswer(404, "no such page"));
        res.set_content(reinterpret_cast<const char*>(f->data), f->size, f->contentType);
        res.set_header("Cache-Control", "no-store");
        res.set_header("X-Content-Type-Options", "nosniff");
    });
    s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) {
            const char* why = res.status == 404   ? "no such page"
                              : res.status == 405 ? "method not allowed"
                              : res.status == 413 ? "request too large"
                                                  : "bad request";
            Send(res, ErrorAnswer(res.status, why));
        }
    });
    s.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr ep) {
        std::string what = "internal error";
        try {
            if (ep) std::rethrow_exception(ep);
        } catch (const std::exception& e) {
            what += std::string(": ") + e.what();
        } catch (...) {
        }
        Send(res, ErrorAnswer(500, what));
    });
    if (port_ == 0) {
        port_ = s.bind_to_any_port("127.0.0.1");
        if (port_ <= 0) {
            error = "cannot listen on 127.0.0.1";
            return false;
        }
    } else if (!s.bind_to_port("127.0.0.1", port_)) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port_) + " (in use?)";
        return false;
    }
    impl_->listener = std::thread([this, &s] {
        s.listen_after_bind();
        impl_->listenerDone = true;
    });
    // The server's stop() does nothing until its loop has marked itself running, so a Stop()
    // right after Start() would leave the loop listening forever: wait for it here.
    while (!s.is_running() && !impl_->listenerDone) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (impl_->listenerDone) {
        impl_->listener.join();
        error = "cannot listen on 127.0.0.1:" + std::to_string(port_);
        return false;
    }
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
    // Start() saw the loop running, so this one stop() ends it (a second one would find no socket).
    impl_->server.stop();
    if (impl_->listener.joinable()) impl_->listener.join();
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
