// vtr_hostsim: loads the plug-in as the script extender does, builds a simulated game from a
// world file, runs a list of menu calls and prints what happened as JSON.
// Exit codes: 0 done, 1 the plug-in could not be loaded or run, 2 bad options or input files.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "os/os.h"
#include "tools/hostsim/crash.h"
#include "tools/hostsim/dump.h"
#include "tools/hostsim/host.h"
#include "tools/hostsim/json_in.h"
#include "tools/hostsim/world.h"

#ifndef VTR_PLUGIN_PATH
#define VTR_PLUGIN_PATH "Vultrane.so"
#endif

namespace {

namespace fs = std::filesystem;
using hostsim::Json;

constexpr const char* kUsage =
    "usage: vtr_hostsim [options]\n"
    "  --world FILE            world file to build the simulated game from (docs/world-file.md)\n"
    "  --calls FILE            menu calls to run (docs/call-list.md)\n"
    "  --plugin PATH           plug-in library (default: the one built beside this program)\n"
    "  --game-folder DIR       the game's folder, made current before the plug-in is loaded\n"
    "                          (default: the world file's \"gameFolder\", else the current folder)\n"
    "  --documents DIR         the user's documents folder, where slot files are saved below\n"
    "                          My Games/Skyrim/VTR_save (default: $XDG_DOCUMENTS_DIR, else\n"
    "                          $HOME/Documents)\n"
    "  --dump-world            print the world's state after the calls (with the slot files)\n"
    "  --dump-deltas           --dump-world with every delta of the loaded morph data\n"
    "  --output FILE           write the JSON there instead of standard output\n"
    "  --compact               one line of JSON instead of an indented text\n"
    "handshake options:\n"
    "  --editor                the host says it is the editor\n"
    "  --runtime HEX           runtime version the host reports (default 09200000)\n"
    "  --no-scaleform          the host has no Scaleform interface\n"
    "  --scaleform-version N   version of the host's Scaleform interface (default 1)\n"
    "  --movies N              menu movies to set up (default 1); calls go to the last\n";

struct Options {
    std::string world, calls, gameFolder, output, documents;
    bool dumpWorld = false;
    bool dumpDeltas = false;
    bool compact = false;
    hostsim::HostOptions host;
};

struct UsageError {
    std::string message;
};

uint64_t ParseUnsigned(const std::string& option, const std::string& text, int base, uint64_t max) {
    errno = 0;
    char* end = nullptr;
    const char* s = text.c_str();
    if (base == 16 && (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0)) s += 2;
    unsigned long long v = std::strtoull(s, &end, base);
    if (*s == '\0' || *end != '\0' || errno != 0 || v > max || text[0] == '-')
        throw UsageError{option + ": invalid value \"" + text + "\""};
    return v;
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    o.host.pluginPath = VTR_PLUGIN_PATH;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw UsageError{a + " needs a value"};
            return argv[++i];
        };
        if (a == "--world") o.world = value();
        else if (a == "--calls") o.calls = value();
        else if (a == "--plugin") o.host.pluginPath = value();
        else if (a == "--game-folder") o.gameFolder = value();
        else if (a == "--documents") {
            o.documents = value();
            if (o.documents.empty()) throw UsageError{a + ": the folder must not be empty"};
        }
        else if (a == "--output") o.output = value();
        else if (a == "--dump-world") o.dumpWorld = true;
        else if (a == "--dump-deltas") o.dumpWorld = o.dumpDeltas = true;
        else if (a == "--compact") o.compact = true;
        else if (a == "--editor") o.host.editor = true;
        else if (a == "--runtime") o.host.runtimeVersion = static_cast<uint32_t>(ParseUnsigned(a, value(), 16, UINT32_MAX));
        else if (a == "--no-scaleform") o.host.offerScaleform = false;
        else if (a == "--scaleform-version")
            o.host.scaleformVersion = static_cast<uint32_t>(ParseUnsigned(a, value(), 10, UINT32_MAX));
        else if (a == "--movies") o.host.movies = static_cast<int>(ParseUnsigned(a, value(), 10, 64));
        else if (a == "--help" || a == "-h") throw UsageError{};
        else throw UsageError{"unknown option \"" + a + "\""};
    }
    return o;
}

std::string Absolute(const std::string& p) { return p.empty() ? p : fs::absolute(p).lexically_normal().string(); }

int InputFailure(const std::string& file, const std::string& message) {
    std::fprintf(stderr, "vtr_hostsim: %s%s%s\n", file.c_str(), file.empty() ? "" : ": ", message.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    try {
        opt = ParseOptions(argc, argv);
    } catch (const UsageError& e) {
        if (e.message.empty()) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::fprintf(stderr, "vtr_hostsim: %s\n%s", e.message.c_str(), kUsage);
        return 2;
    }
    opt.world = Absolute(opt.world);
    opt.calls = Absolute(opt.calls);
    opt.output = Absolute(opt.output);
    opt.gameFolder = Absolute(opt.gameFolder);
    opt.documents = Absolute(opt.documents);
    if (opt.host.pluginPath.find('/') != std::string::npos) opt.host.pluginPath = Absolute(opt.host.pluginPath);

    // Inputs are read and checked before the plug-in is touched.
    hostsim::WorldBuild world;
    Json callsJson = Json::array();
    std::vector<hostsim::CallSpec> calls;
    try {
        Json worldJson = Json::object();
        if (!opt.world.empty())
            worldJson = hostsim::ParseJson(hostsim::ReadTextFile(opt.world, "world"), "world");
        world = hostsim::BuildWorld(worldJson, opt.world.empty() ? fs::current_path().string()
                                                                 : fs::path(opt.world).parent_path().string());
    } catch (const hostsim::InputError& e) {
        return InputFailure(opt.world, e.what());
    }
    try {
        if (!opt.calls.empty()) callsJson = hostsim::ParseJson(hostsim::ReadTextFile(opt.calls, "calls"), "calls");
        calls = hostsim::ReadCallList(callsJson);
    } catch (const hostsim::InputError& e) {
        return InputFailure(opt.calls, e.what());
    }

    std::string gameFolder = !opt.gameFolder.empty() ? opt.gameFolder
                             : world.gameFolder     ? *world.gameFolder
                                                    : fs::current_path().string();
    if (chdir(gameFolder.c_str()) != 0)
        return InputFailure("", "cannot enter the game folder \"" + gameFolder + "\": " + std::strerror(errno));
    try {
        hostsim::BuildLoadedMorphData(world);
    } catch (const hostsim::InputError& e) {
        return InputFailure(opt.world, e.what());
    }
    // The plug-in opens its log there when it is loaded and runs silently without one.
    if (!fs::is_directory(os::ResolvePath("data\\skse\\plugins")))
        std::fprintf(stderr,
                     "vtr_hostsim: warning: the game folder has no data\\skse\\plugins folder; the plug-in "
                     "runs without a log file (its messages are still captured from standard output)\n");

    // The plug-in asks the platform for the documents folder; on POSIX that is this variable.
    // Made absolute above: the current folder becomes the game folder.
    if (!opt.documents.empty() && setenv("XDG_DOCUMENTS_DIR", opt.documents.c_str(), 1) != 0)
        return InputFailure("", "cannot set the documents folder: " + std::string(std::strerror(errno)));

    FILE* out = stdout;
    if (!opt.output.empty() && !(out = std::fopen(opt.output.c_str(), "w")))
        return InputFailure("", "cannot write \"" + opt.output + "\": " + std::strerror(errno));

    hostsim::InstallCrashReport();
    Json result = Json::object();
    try {
        hostsim::Host host(opt.host);
        std::string error;
        if (!host.Open(error)) {
            std::fprintf(stderr, "vtr_hostsim: %s\n", error.c_str());
            return 1;
        }
        result["plugin"] = host.PluginPath();
        result["gameFolder"] = gameFolder;
        result["handshake"] = host.Handshake();
        Json callsOut = Json::array();
        for (size_t i = 0; i < calls.size(); ++i) callsOut.push_back(host.Call(calls[i], i));
        result["calls"] = callsOut;
        if (opt.dumpWorld) {
            hostsim::SetActivity("the world dump");
            result["world"] = hostsim::DumpWorld(host.PluginPath(), opt.dumpDeltas);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vtr_hostsim: %s\n", e.what());
        return 1;
    }

    // Log lines may hold any bytes; invalid UTF-8 is replaced rather than refused.
    std::string text = result.dump(opt.compact ? -1 : 2, ' ', false, Json::error_handler_t::replace);
    text += '\n';
    bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    ok = (out == stdout ? std::fflush(out) : std::fclose(out)) == 0 && ok;
    if (!ok) {
        std::fprintf(stderr, "vtr_hostsim: cannot write the output\n");
        return 1;
    }
    return 0;
}
