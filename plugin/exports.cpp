// The two entry points the script extender calls.
#include <cstdint>
#include <cstring>

#include "game/engine.h"
#include "os/os.h"
#include "plugin/functions.h"
#include "plugin/hook.h"
#include "base/log.h"
#include "plugin/registration.h"

#if defined(_WIN32)
#define VTR_EXPORT extern "C" __declspec(dllexport)
#else
#define VTR_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

SKSEScaleformInterface* g_scaleform = nullptr;

}  // namespace

VTR_EXPORT bool SKSEPlugin_Query(const SKSEInterface* skse, PluginInfo* info) noexcept {
    if (!skse || !info) return false;
    try {
        LogMessage("skse_Quorvix_plugin");
        info->infoVersion = 1;
        info->name = "Quorvix plugin";
        info->version = kPluginVersion;
        if (skse->isEditor) {
            LogMessage("loaded in editor, marking as incompatible");
            return false;
        }
        if (skse->runtimeVersion != kRuntimeVersion_1_9_32_0) {
            LogMessage("unsupported runtime version %08X", skse->runtimeVersion);
            return false;
        }
        g_scaleform = static_cast<SKSEScaleformInterface*>(skse->QueryInterface(kInterface_Scaleform));
        if (!g_scaleform) {
            LogMessage("couldn't get scaleform interface");
            return false;
        }
        if (g_scaleform->interfaceVersion < 1) {
            LogMessage("scaleform interface too old (%d expected %d)", static_cast<int>(g_scaleform->interfaceVersion), 1);
            return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

VTR_EXPORT bool SKSEPlugin_Load(const SKSEInterface* skse) noexcept {
    (void)skse;
    try {
        LogMessage("load");
        Log_ArmOnceFlags();
        PatchHookedCall();
        if (g_scaleform) g_scaleform->Register("Quorvix", &RegisterFunctions);
    } catch (...) {
    }
    return true;
}
