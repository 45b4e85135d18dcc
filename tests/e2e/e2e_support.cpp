#include "tests/e2e/e2e_support.h"

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace e2e {

namespace fs = std::filesystem;

namespace {

std::vector<std::pair<std::string, SKSEScaleformRegisterCallback>>& Registered() {
    static auto* r = new std::vector<std::pair<std::string, SKSEScaleformRegisterCallback>>();
    return *r;
}

bool Register(const char* name, SKSEScaleformRegisterCallback callback) {
    Registered().emplace_back(name ? name : "", callback);
    return true;
}

SKSEScaleformInterface& ScaleformRecord() {
    static SKSEScaleformInterface s{1, &Register, nullptr};
    return s;
}

void* QueryInterface(uint32_t id) { return id == kInterface_Scaleform ? &ScaleformRecord() : nullptr; }

[[noreturn]] void Die(const std::string& what) {
    std::fprintf(stderr, "e2e: %s\n", what.c_str());
    std::abort();
}

}  // namespace

std::vector<std::string> CaptureStdout(const std::function<void()>& fn) {
    std::fflush(stdout);
    FILE* tmp = std::tmpfile();
    if (!tmp) Die("tmpfile failed");
    int saved = dup(1);
    if (saved < 0 || dup2(fileno(tmp), 1) < 0) Die("cannot redirect standard output");
    fn();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string text;
    char buf[4096];
    lseek(fileno(tmp), 0, SEEK_SET);
    for (ssize_t n; (n = read(fileno(tmp), buf, sizeof(buf))) > 0;) text.append(buf, static_cast<size_t>(n));
    std::fclose(tmp);
    return SplitLines(text);
}

SKSEInterface GameHostRecord() {
    SKSEInterface skse{};
    skse.skseVersion = 0x01070030;
    skse.runtimeVersion = kRuntimeVersion_1_9_32_0;
    skse.QueryInterface = &QueryInterface;
    return skse;
}

Plugin& Plugin::Get() {
    static Plugin* p = new Plugin();  // lives as long as the library it loaded
    return *p;
}

Plugin::Plugin() {
    char tmpl[] = "/tmp/vtr-e2e-XXXXXX";
    if (!mkdtemp(tmpl)) Die("mkdtemp failed");
    folder_ = tmpl;
    static std::string* cleanup = new std::string(folder_);
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(*cleanup, ec);
    });
    fs::create_directories(folder_ + "/data/skse/plugins");
    // The plug-in opens its log relative to the current folder when it is loaded.
    fs::current_path(folder_);
    std::vector<std::string> openLog = CaptureStdout([&] { library_ = dlopen(VTR_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL); });
    if (!library_) Die(std::string("dlopen: ") + dlerror());
    query_ = reinterpret_cast<QueryFn>(dlsym(library_, "SKSEPlugin_Query"));
    load_ = reinterpret_cast<LoadFn>(dlsym(library_, "SKSEPlugin_Load"));
    if (!query_ || !load_) Die("the plug-in lacks an entry point");

    SKSEInterface skse = GameHostRecord();
    queryLog_ = CaptureStdout([&] { queryResult_ = query_(&skse, &info_); });
    loadLog_ = CaptureStdout([&] { load_(&skse); });
    movie_ = sim::CreateMovie();
    Movie_CreateObject(movie_, &root_, nullptr, nullptr, 0);
    size_t before = sim::LiveHeapAllocations();
    CaptureStdout([&] {
        for (auto& [name, callback] : Registered()) callback(movie_, &root_);
    });
    firstRegistrationHeap_ = sim::LiveHeapAllocations() - before;
}

const std::vector<std::pair<std::string, SKSEScaleformRegisterCallback>>& Plugin::Registrations() const {
    return Registered();
}

GFxMovieView* Plugin::AddMovie(GFxValue& root, bool* callbackResult) {
    GFxMovieView* movie = sim::CreateMovie();
    Movie_CreateObject(movie, &root, nullptr, nullptr, 0);
    CaptureStdout([&] {
        for (auto& [name, callback] : Registered()) {
            bool ok = callback(movie, &root);
            if (callbackResult) *callbackResult = ok;
        }
    });
    return movie;
}

CallResult CallMenu(const char* name, std::vector<GFxValue> args) {
    Plugin& p = Plugin::Get();
    CallResult r;
    r.log = CaptureStdout([&] {
        r.found = sim::InvokeMember(p.Movie(), p.Root(), name, args.empty() ? nullptr : args.data(),
                                    static_cast<uint32_t>(args.size()), &r.result);
    });
    for (GFxValue& a : args) sim::Release(a);
    return r;
}

GFxValue MakeString(const char* text) {
    GFxValue v{};
    Movie_CreateString(Plugin::Get().Movie(), &v, text);
    return v;
}

GFxValue MakeArray() {
    GFxValue v{};
    Movie_CreateArray(Plugin::Get().Movie(), &v);
    return v;
}

GFxValue MakeObject() {
    GFxValue v{};
    Movie_CreateObject(Plugin::Get().Movie(), &v, nullptr, nullptr, 0);
    return v;
}

TempDir::TempDir() {
    char tmpl[] = "/tmp/vtr-e2e-dir-XXXXXX";
    if (!mkdtemp(tmpl)) Die("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& relative, const std::string& content) const {
    fs::path p = fs::path(path_) / relative;
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out << content;
    return p.string();
}

std::string CopyExampleGame(const TempDir& dir) {
    const fs::path game = fs::path(dir.Path()) / "game";
    fs::copy(VTR_PRISTINE_GAME_DIR, game, fs::copy_options::recursive);
    // The copies keep the source's read-only modes; the plug-in writes merged files and its log here.
    fs::permissions(game, fs::perms::owner_write, fs::perm_options::add);
    for (const auto& e : fs::recursive_directory_iterator(game))
        fs::permissions(e.path(), fs::perms::owner_write, fs::perm_options::add);
    return game.string();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

ProcessResult RunProcess(const std::vector<std::string>& argv) {
    TempDir dir;
    std::string outPath = dir.Path() + "/out", errPath = dir.Path() + "/err";
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) Die("fork failed");
    if (pid == 0) {
        FILE* out = std::fopen(outPath.c_str(), "w");
        FILE* err = std::fopen(errPath.c_str(), "w");
        if (!out || !err) _exit(126);
        dup2(fileno(out), 1);
        dup2(fileno(err), 2);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    ProcessResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadFile(outPath);
    r.err = ReadFile(errPath);
    return r;
}

}  // namespace e2e
