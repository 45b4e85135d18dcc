#include "plugin/registration.h"

#include <map>
#include <new>
#include <typeindex>

#include "plugin/bridge.h"
#include "plugin/functions.h"
#include "base/log.h"

namespace {

// One handler object per function class, made by the game's Scaleform heap and called
// through a table in the game compiler's layout.
template <class Handler>
struct HandlerTable {
    static void* VTR_THISCALL Destroy(GFxFunctionHandler* self, uint32_t flags) noexcept {
        try {
            static_cast<Handler*>(self)->~Handler();
            if (flags & 1) ScaleformHeap_Free(self);
        } catch (...) {
        }
        return self;
    }

    static void VTR_THISCALL Invoke(GFxFunctionHandler* self, GFxFunctionHandler_Args* args) noexcept {
        (void)self;
        // Nothing may unwind into the game's frames.
        try {
            Handler::Call(MenuCall(args));
        } catch (const std::exception& e) {
            LogMessage("    ERROR: system: internal error in Quorvix.%s: %s", Handler::kName, e.what());
        } catch (...) {
            LogMessage("    ERROR: system: internal error in Quorvix.%s.", Handler::kName);
        }
    }

    static constexpr GFxFunctionHandler_Vtbl kTable{&Destroy, &Invoke};
};

#define VTR_DEFINE_HANDLER(Name)                                                         \
    struct SKSEScaleform_##Name##Function : GFxFunctionHandler {                         \
        static constexpr const char* kName = #Name;                                      \
        SKSEScaleform_##Name##Function() {                                               \
            vtbl = &HandlerTable<SKSEScaleform_##Name##Function>::kTable;                \
            refCount = 1;                                                                \
        }                                                                                \
        static void Call(const MenuCall& call) { Fn_##Name(call); }                      \
    };
VTR_MENU_FUNCTIONS(VTR_DEFINE_HANDLER)
#undef VTR_DEFINE_HANDLER

std::map<std::type_index, GFxFunctionHandler*>& FunctionHandlerCache() {
    static auto* cache = new std::map<std::type_index, GFxFunctionHandler*>();  // never emptied
    return *cache;
}

template <class Handler>
void RegisterFunction(GFxValue* root, GFxMovieView* movie, const char* name) {
    GFxFunctionHandler*& slot = FunctionHandlerCache()[std::type_index(typeid(Handler))];
    if (!slot) {
        void* memory = ScaleformHeap_Alloc(sizeof(Handler));
        if (!memory) {
            LogMessage("    ERROR: system: the Scaleform heap gave no memory for Quorvix.%s; it is not installed.", name);
            return;  // a later movie tries again
        }
        slot = new (memory) Handler();
    }
    LocalValue fn;
    Movie_CreateFunction(movie, &fn.value, slot, nullptr);
    Value_SetMember(*root, name, fn.value);
}

}  // namespace

bool RegisterFunctions(GFxMovieView* movie, GFxValue* root) noexcept {
    // Called by the game; each function is installed on its own so that one failure (no
    // memory, say) leaves the others working, and nothing unwinds into the game's frames.
#define VTR_REGISTER(Name)                                                               \
    try {                                                                                \
        RegisterFunction<SKSEScaleform_##Name##Function>(root, movie, #Name);            \
    } catch (...) {                                                                      \
        try {                                                                            \
            LogMessage("    ERROR: system: Quorvix.%s could not be installed.", #Name);  \
        } catch (...) {                                                                  \
        }                                                                                \
    }
    VTR_MENU_FUNCTIONS(VTR_REGISTER)
#undef VTR_REGISTER
    return true;
}

size_t FunctionHandlerCount() {
    size_t n = 0;
    for (const auto& entry : FunctionHandlerCache()) n += entry.second != nullptr;
    return n;
}

void ForgetFunctionHandlers() {
    for (auto& [type, handler] : FunctionHandlerCache())
        if (handler) handler->vtbl->destroy(handler, 1);
    FunctionHandlerCache().clear();
}
