#include "tools/hostsim/host.h"

#include <dlfcn.h>

#include <cstdio>
#include <deque>

#include "game/engine.h"
#include "game/sim/sim.h"
#include "tools/hostsim/capture.h"
#include "tools/hostsim/crash.h"
#include "tools/hostsim/values.h"

namespace hostsim {

namespace {

// The host's interface records are static, as the extender's are; their plain function
// pointers carry no context, so what they serve lives here.
struct Registration {
    const char* name;  // the extender keeps the caller's pointer, it does not copy
    SKSEScaleformRegisterCallback callback;
};
std::vector<Registration> g_registrations;
SKSEScaleformInterface g_scaleform{};
bool g_offerScaleform = true;
std::vector<uint32_t> g_queriedIds;

bool Register(const char* name, SKSEScaleformRegisterCallback callback) {
    for (const Registration& r : g_registrations)
        if (name && r.name && std::string(r.name) == name) return false;
    g_registrations.push_back({name, callback});
    return true;
}

void* QueryInterface(uint32_t id) {
    g_queriedIds.push_back(id);
    if (id == kInterface_Scaleform && g_offerScaleform) return &g_scaleform;
    return nullptr;
}

uint32_t GetPluginHandle() { return 1; }
uint32_t GetReleaseIndex() { return 48; }

Json Lines(const std::vector<std::string>& lines) {
    Json out = Json::array();
    for (const std::string& l : lines) out.push_back(l);
    return out;
}

std::string Hex8(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof(buf), "%08X", v);
    return buf;
}

// Roots stay alive as the extender keeps them in the movie; never released.
std::deque<GFxValue>& Roots() {
    static auto* roots = new std::deque<GFxValue>();
    return *roots;
}

}  // namespace

std::vector<CallSpec> ReadCallList(const Json& calls) {
    std::vector<CallSpec> out;
    In root(calls, "calls");
    for (const In& entry : root.Array()) {
        ObjectIn o = entry.Object();
        CallSpec spec;
        if (auto text = o.Optional("scriptRoutine")) {
            spec.scriptRoutine = true;
            spec.routineText = text->String();
            o.Done();
            out.push_back(std::move(spec));
            continue;
        }
        spec.function = o.Required("function").String();
        if (auto args = o.Optional("args")) {
            spec.args = args->Array();
            spec.argsJson = &args->Raw();
            for (const In& a : spec.args) CheckValueJson(a);
        }
        o.Done();
        out.push_back(std::move(spec));
    }
    return out;
}

bool Host::Open(std::string& error) {
    SetActivity("the loading of the library");
    openLog_ = CaptureStdoutLines([&] { library_ = dlopen(options_.pluginPath.c_str(), RTLD_NOW | RTLD_LOCAL); });
    if (!library_) {
        const char* e = dlerror();
        error = "cannot load the plug-in \"" + options_.pluginPath + "\": " + (e ? e : "unknown error");
        return false;
    }
    query_ = reinterpret_cast<bool (*)(const SKSEInterface*, PluginInfo*)>(dlsym(library_, "SKSEPlugin_Query"));
    load_ = reinterpret_cast<bool (*)(const SKSEInterface*)>(dlsym(library_, "SKSEPlugin_Load"));
    if (!query_ || !load_) {
        error = "the plug-in \"" + options_.pluginPath + "\" does not export " +
                (!query_ ? "SKSEPlugin_Query" : "SKSEPlugin_Load");
        return false;
    }
    return true;
}

Json Host::Handshake() {
    g_scaleform.interfaceVersion = options_.scaleformVersion;
    g_scaleform.Register = &Register;
    g_offerScaleform = options_.offerScaleform;

    SKSEInterface skse{};
    skse.skseVersion = 0x01070030;
    skse.runtimeVersion = options_.runtimeVersion;
    skse.isEditor = options_.editor ? 1 : 0;
    skse.QueryInterface = &QueryInterface;
    skse.GetPluginHandle = &GetPluginHandle;
    skse.GetReleaseIndex = &GetReleaseIndex;

    Json out = Json::object();
    out["host"] = {{"runtimeVersion", Hex8(options_.runtimeVersion)},
                   {"isEditor", options_.editor},
                   {"scaleformOffered", options_.offerScaleform},
                   {"scaleformVersion", options_.scaleformVersion}};
    out["libraryLoadLog"] = Lines(openLog_);

    PluginInfo info{};
    bool queried = false;
    SetActivity("SKSEPlugin_Query");
    auto queryLog = CaptureStdoutLines([&] { queried = query_(&skse, &info); });
    Json ids = Json::array();
    for (uint32_t id : g_queriedIds) ids.push_back(id);
    out["query"] = {{"result", queried},
                    {"info", {{"infoVersion", info.infoVersion},
                              {"name", info.name ? Json(info.name) : Json(nullptr)},
                              {"version", info.version}}},
                    {"interfacesQueried", ids},
                    {"log", Lines(queryLog)}};
    if (!queried) {
        // The extender does not load a plug-in that declined.
        out["load"] = nullptr;
        out["movies"] = Json::array();
        return out;
    }

    bool loaded = false;
    SetActivity("SKSEPlugin_Load");
    auto loadLog = CaptureStdoutLines([&] { loaded = load_(&skse); });
    Json regs = Json::array();
    for (const Registration& r : g_registrations) regs.push_back(r.name ? Json(r.name) : Json(nullptr));
    out["load"] = {{"result", loaded}, {"registered", regs}, {"log", Lines(loadLog)}};

    Json movies = Json::array();
    std::vector<GFxFunctionHandler*> firstHandlers;
    for (int i = 0; i < options_.movies; ++i) {
        GFxMovieView* movie = sim::CreateMovie();
        Json movieOut = Json::array();
        for (size_t r = 0; r < g_registrations.size(); ++r) {
            Roots().emplace_back();
            GFxValue& root = Roots().back();
            Movie_CreateObject(movie, &root, nullptr, nullptr, 0);
            size_t heapBefore = sim::LiveHeapAllocations();
            bool result = false;
            SetActivity("the registration into movie " + std::to_string(i + 1));
            auto log = CaptureStdoutLines([&] { result = g_registrations[r].callback(movie, &root); });
            Json members = Json::array();
            std::vector<GFxFunctionHandler*> handlers;
            for (const auto& [name, value] : sim::ObjectMembers(root)) {
                members.push_back(name);
                handlers.push_back(sim::FunctionHandler(*value));
            }
            Json reg = {{"name", g_registrations[r].name ? Json(g_registrations[r].name) : Json(nullptr)},
                        {"callbackResult", result},
                        {"members", members},
                        {"heapAllocationsAdded",
                         static_cast<int64_t>(sim::LiveHeapAllocations()) - static_cast<int64_t>(heapBefore)},
                        {"log", Lines(log)}};
            if (r == 0) {
                if (i == 0) firstHandlers = handlers;
                reg["sameHandlersAsFirstMovie"] = handlers == firstHandlers;
                callMovie_ = movie;
                callRoot_ = &root;
            }
            movieOut.push_back(reg);
        }
        movies.push_back({{"registrations", movieOut}});
    }
    out["movies"] = movies;
    return out;
}

Json Host::Call(const CallSpec& call, size_t index) {
    if (call.scriptRoutine) {
        Json out = Json::object();
        out["scriptRoutine"] = call.routineText;
        const int formerBefore = sim::FormerRoutineCalls();
        const int updatesBefore = sim::ModelUpdateCount();
        bool taken = false;
        SetActivity("calls[" + std::to_string(index) + "] (the patched game routine)");
        auto log = CaptureStdoutLines([&] { taken = sim::RunHookedRoutine(call.routineText.c_str()); });
        out["taken"] = taken;
        out["formerRoutineRan"] = sim::FormerRoutineCalls() != formerBefore;
        out["modelUpdatesQueued"] = sim::ModelUpdateCount() - updatesBefore;
        out["log"] = Lines(log);
        SetActivity("the output");
        return out;
    }
    Json out = Json::object();
    out["function"] = call.function;
    out["args"] = call.argsJson ? *call.argsJson : Json::array();
    bool installed = false;
    if (callRoot_) {
        for (const auto& [name, value] : sim::ObjectMembers(*callRoot_))
            if (name == call.function && sim::IsFunction(*value)) installed = true;
    }
    out["installed"] = installed;
    if (!installed) return out;

    std::vector<GFxValue> args;
    args.reserve(call.args.size());
    for (const In& a : call.args) args.push_back(ValueFromJson(a, callMovie_));
    GFxValue result = sim::MakeUndefined();
    SetActivity("calls[" + std::to_string(index) + "] (" + call.function + ")");
    auto log = CaptureStdoutLines([&] {
        sim::InvokeMember(callMovie_, *callRoot_, call.function.c_str(), args.empty() ? nullptr : args.data(),
                          static_cast<uint32_t>(args.size()), &result);
    });
    out["return"] = ValueToJson(result);
    Json arrays = Json::array();
    for (size_t i = 0; i < args.size(); ++i)
        if ((args[i].type & kGFxTypeMask) == kGFxType_Array)
            arrays.push_back({{"argument", i}, {"contents", ValueToJson(args[i])}});
    out["arrays"] = arrays;
    out["log"] = Lines(log);
    sim::Release(result);
    for (GFxValue& a : args) sim::Release(a);
    SetActivity("the output");
    return out;
}

}  // namespace hostsim
