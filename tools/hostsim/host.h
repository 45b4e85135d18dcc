// The script extender as the plug-in meets it: the library loaded by name, the two entry
// points called with a host record, the Scaleform interface whose Register keeps the
// callback, and menu movies into which the callback installs its functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "game/records.h"
#include "tools/hostsim/json_in.h"

namespace hostsim {

struct HostOptions {
    std::string pluginPath;
    bool editor = false;
    uint32_t runtimeVersion = kRuntimeVersion_1_9_32_0;
    bool offerScaleform = true;
    uint32_t scaleformVersion = 1;
    int movies = 1;
};

// One menu call of a call list.
struct CallSpec {
    std::string function;
    // Set instead of `function`: the game's scripts run the patched routine with this text.
    bool scriptRoutine = false;
    std::string routineText;
    std::vector<In> args;
    const Json* argsJson = nullptr;  // as written, for the output; null when absent
};

// Reads and checks a call list (docs/call-list.md).
std::vector<CallSpec> ReadCallList(const Json& calls);

class Host {
public:
    explicit Host(HostOptions options) : options_(std::move(options)) {}

    // dlopen and dlsym of the two entry points. False with `error` set when the library or an
    // entry point is missing. The log lines written while the library loads are kept.
    bool Open(std::string& error);
    // Query, then Load when Query agreed, then the movies. Returns the handshake's record.
    Json Handshake();
    // Runs one call (`index` in the call list) against the last movie; returns its record.
    Json Call(const CallSpec& call, size_t index);

    const std::string& PluginPath() const { return options_.pluginPath; }

private:
    HostOptions options_;
    void* library_ = nullptr;
    bool (*query_)(const SKSEInterface*, PluginInfo*) = nullptr;
    bool (*load_)(const SKSEInterface*) = nullptr;
    std::vector<std::string> openLog_;
    GFxMovieView* callMovie_ = nullptr;
    GFxValue* callRoot_ = nullptr;
};

}  // namespace hostsim
