// The real binding: the engine operations as calls into the game build at fixed addresses
// and through its virtual tables. Only built for the 32-bit Windows game.
#include <windows.h>

#include "game/engine.h"
#include "game/skyrim/addresses.h"

namespace {

template <class Fn>
Fn At(uintptr_t address) {
    return reinterpret_cast<Fn>(address);
}

template <class Fn>
Fn Virtual(const void* object, unsigned slot) {
    auto vtbl = *reinterpret_cast<void* const* const*>(object);
    return reinterpret_cast<Fn>(vtbl[slot]);
}

void* Heap() { return *reinterpret_cast<void**>(addr::kScaleformHeap); }

}  // namespace

PlayerCharacter* PlayerSingleton() { return *reinterpret_cast<PlayerCharacter**>(addr::kPlayerSingleton); }

PlayerCamera* PlayerCameraSingleton() { return *reinterpret_cast<PlayerCamera**>(addr::kPlayerCameraSingleton); }

void* RuntimeDynamicCast(void* object, uint32_t zero1, const void* fromType, const void* toType, uint32_t zero2) {
    if (!object) return nullptr;
    using Fn = void* (*)(void*, uint32_t, const void*, const void*, uint32_t);
    return At<Fn>(addr::kRuntimeDynamicCast)(object, zero1, fromType, toType, zero2);
}

const void* TypeDescriptor_BaseForm() { return reinterpret_cast<const void*>(addr::kTypeDescriptor_BaseForm); }
const void* TypeDescriptor_NpcForm() { return reinterpret_cast<const void*>(addr::kTypeDescriptor_NpcForm); }
const void* TypeDescriptor_Reference() { return reinterpret_cast<const void*>(addr::kTypeDescriptor_Reference); }
const void* TypeDescriptor_Player() { return reinterpret_cast<const void*>(addr::kTypeDescriptor_Player); }

// Unverified in the game: the values are taken as 0 male, 1 female, negative none; a sex
// code of 0 then matches no morph target rather than the wrong one.
int8_t NpcForm_GetSex(TESNPC* npc) {
    using Fn = char(VTR_THISCALL*)(TESNPC*);
    return static_cast<int8_t>(At<Fn>(addr::kNpcForm_GetSex)(npc));
}

void QueueModelUpdate(PlayerCharacter* player, bool updateWeight) {
    using Fn = void(VTR_THISCALL*)(PlayerCharacter*, bool);
    At<Fn>(addr::kQueueModelUpdate)(player, updateWeight);
}

TintMask* Player_GetTintMask(PlayerCharacter* player, uint32_t tintType, uint32_t index) {
    using Fn = TintMask*(VTR_THISCALL*)(PlayerCharacter*, uint32_t, uint32_t);
    return At<Fn>(addr::kPlayer_GetTintMask)(player, tintType, index);
}

uint32_t Player_CountTintMasks(PlayerCharacter* player, uint32_t tintType) {
    using Fn = uint32_t(VTR_THISCALL*)(PlayerCharacter*, uint32_t);
    return At<Fn>(addr::kPlayer_CountTintMasks)(player, tintType);
}

void FixedString_Construct(BSFixedString* str, const char* text) {
    using Fn = BSFixedString*(VTR_THISCALL*)(BSFixedString*, const char*);
    At<Fn>(addr::kFixedString_Construct)(str, text);
}

void FixedString_Set(BSFixedString* str, const char* text) {
    using Fn = BSFixedString*(VTR_THISCALL*)(BSFixedString*, const char*);
    At<Fn>(addr::kFixedString_Set)(str, text);
}

void FixedString_Release(BSFixedString* str) {
    using Fn = void(VTR_THISCALL*)(BSFixedString*);
    At<Fn>(addr::kFixedString_Release)(str);
}

void ResourceStream_Open(BSResourceNiBinaryStream* stream, const char* path, uint32_t zero1, uint32_t zero2) {
    using Fn = void*(VTR_THISCALL*)(BSResourceNiBinaryStream*, const char*, uint32_t, uint32_t);
    At<Fn>(addr::kResourceStream_Open)(stream, path, zero1, zero2);
}

bool ResourceStream_IsValid(BSResourceNiBinaryStream* stream) {
    using Fn = bool(VTR_THISCALL*)(BSResourceNiBinaryStream*);
    return At<Fn>(addr::kResourceStream_IsValid)(stream);
}

uint32_t ResourceStream_Read(BSResourceNiBinaryStream* stream, void* buffer, uint32_t n) {
    using Fn = uint32_t(VTR_THISCALL*)(BSResourceNiBinaryStream*, void*, uint32_t);
    return At<Fn>(addr::kResourceStream_Read)(stream, buffer, n);
}

void ResourceStream_Skip(BSResourceNiBinaryStream* stream, int32_t n) {
    using Fn = void(VTR_THISCALL*)(BSResourceNiBinaryStream*, int32_t);
    At<Fn>(addr::kResourceStream_Skip)(stream, n);
}

// Unverified in the game: the result is taken as the bytes stored including the terminator.
uint32_t ResourceStream_ReadLine(BSResourceNiBinaryStream* stream, char* buffer, uint32_t size, uint32_t terminator) {
    using Fn = uint32_t(VTR_THISCALL*)(BSResourceNiBinaryStream*, char*, uint32_t, uint32_t);
    return At<Fn>(addr::kResourceStream_ReadLine)(stream, buffer, size, terminator);
}

void ResourceStream_Close(BSResourceNiBinaryStream* stream) {
    using Fn = void(VTR_THISCALL*)(BSResourceNiBinaryStream*);
    At<Fn>(addr::kResourceStream_Close)(stream);
}

NiNode* Reference_GetRoot3D(TESObjectREFR* ref) {
    using Fn = NiNode*(VTR_THISCALL*)(TESObjectREFR*);
    return Virtual<Fn>(ref, addr::kSlot_Reference_GetRoot3D)(ref);
}

NiAVObject* Node_GetObjectByName(NiAVObject* root, BSFixedString* name) {
    using Fn = NiAVObject*(VTR_THISCALL*)(NiAVObject*, const char**);
    return Virtual<Fn>(root, addr::kSlot_Node_GetObjectByName)(root, &name->data);
}

void Node_UpdateWorldData(NiAVObject* node, ControllerUpdateContext* ctx) {
    using Fn = void(VTR_THISCALL*)(NiAVObject*, ControllerUpdateContext*);
    Virtual<Fn>(node, addr::kSlot_Node_UpdateWorldData)(node, ctx);
}

// No field of the camera is known to hold the game's base field of view. Unverified choice:
// the current field of view as first seen by the library (before the menu changed it).
float PlayerCamera_GetBaseFov(PlayerCamera* camera) {
    static float base = 0.0f;
    static bool seen = false;
    if (!seen && camera) {
        base = camera->worldFOV;
        seen = true;
    }
    return base;
}

void* ScaleformHeap_Alloc(uint32_t size) {
    void* heap = Heap();
    using Fn = void*(VTR_THISCALL*)(void*, uint32_t, uint32_t);
    return Virtual<Fn>(heap, addr::kSlot_Heap_Alloc)(heap, size, 0);
}

void ScaleformHeap_Free(void* pointer) {
    void* heap = Heap();
    using Fn = void(VTR_THISCALL*)(void*, void*);
    Virtual<Fn>(heap, addr::kSlot_Heap_Free)(heap, pointer);
}

bool GFxValue_SetMember(GFxValue_ObjectInterface* iface, void* obj, const char* name, const GFxValue* value,
                        bool isDisplayObj) {
    using Fn = bool(VTR_THISCALL*)(GFxValue_ObjectInterface*, void*, const char*, const GFxValue*, bool);
    return At<Fn>(addr::kGFxValue_SetMember)(iface, obj, name, value, isDisplayObj);
}

bool GFxValue_PushBack(GFxValue_ObjectInterface* iface, void* obj, const GFxValue* value) {
    using Fn = bool(VTR_THISCALL*)(GFxValue_ObjectInterface*, void*, const GFxValue*);
    return At<Fn>(addr::kGFxValue_PushBack)(iface, obj, value);
}

uint32_t GFxValue_GetArraySize(GFxValue_ObjectInterface* iface, void* obj) {
    using Fn = uint32_t(VTR_THISCALL*)(GFxValue_ObjectInterface*, void*);
    return At<Fn>(addr::kGFxValue_GetArraySize)(iface, obj);
}

bool GFxValue_GetElement(GFxValue_ObjectInterface* iface, void* obj, uint32_t index, GFxValue* out) {
    using Fn = bool(VTR_THISCALL*)(GFxValue_ObjectInterface*, void*, uint32_t, GFxValue*);
    return At<Fn>(addr::kGFxValue_GetElement)(iface, obj, index, out);
}

void GFxValue_ReleaseManaged(GFxValue_ObjectInterface* iface, GFxValue* value, void* obj) {
    using Fn = void(VTR_THISCALL*)(GFxValue_ObjectInterface*, GFxValue*, void*);
    At<Fn>(addr::kGFxValue_ReleaseManaged)(iface, value, obj);
}

void Movie_CreateString(GFxMovieView* movie, GFxValue* out, const char* text) {
    using Fn = void(VTR_THISCALL*)(GFxMovieView*, GFxValue*, const char*);
    Virtual<Fn>(movie, addr::kSlot_Movie_CreateString)(movie, out, text);
}

void Movie_CreateObject(GFxMovieView* movie, GFxValue* out, const char* className, GFxValue* args,
                        uint32_t numArgs) {
    using Fn = void(VTR_THISCALL*)(GFxMovieView*, GFxValue*, const char*, GFxValue*, uint32_t);
    Virtual<Fn>(movie, addr::kSlot_Movie_CreateObject)(movie, out, className, args, numArgs);
}

void Movie_CreateArray(GFxMovieView* movie, GFxValue* out) {
    using Fn = void(VTR_THISCALL*)(GFxMovieView*, GFxValue*);
    Virtual<Fn>(movie, addr::kSlot_Movie_CreateArray)(movie, out);
}

void Movie_CreateFunction(GFxMovieView* movie, GFxValue* out, GFxFunctionHandler* handler, void* refCon) {
    using Fn = void(VTR_THISCALL*)(GFxMovieView*, GFxValue*, GFxFunctionHandler*, void*);
    Virtual<Fn>(movie, addr::kSlot_Movie_CreateFunction)(movie, out, handler, refCon);
}

uint8_t* HookedCallSite() { return reinterpret_cast<uint8_t*>(addr::kHookedCallSite); }

// The 32-bit hook entry reaches the former routine from its return address; nothing on this
// build calls through this pointer.
// The routine at the call site is not named anywhere (unverified in the game); only its call
// to the former target and the stack contract of the hook are relied upon.
int32_t HookedCall_FormerDisplacement() { return static_cast<int32_t>(addr::kHookedCallFormerDisplacement); }

HookedRoutineFn HookedCall_FormerTarget() {
    return reinterpret_cast<HookedRoutineFn>(addr::kHookedCallSite + 5 + addr::kHookedCallFormerDisplacement);
}

// --- Loaded morph data ---------------------------------------------------------------------------

namespace {

// Neither list is described completely, so every pointer taken from them is checked to lead
// to committed, readable memory before it is followed: a wrong guess then finds nothing
// instead of taking the game down.
bool Readable(const void* p, size_t bytes) {
    if (!p) return false;
    const auto start = reinterpret_cast<uintptr_t>(p);
    uintptr_t at = start;
    while (at < start + bytes) {
        MEMORY_BASIC_INFORMATION info{};
        if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) != sizeof info) return false;
        if (info.State != MEM_COMMIT || (info.Protect & (PAGE_NOACCESS | PAGE_GUARD))) return false;
        const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                               PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
        if (!(info.Protect & readable)) return false;
        at = reinterpret_cast<uintptr_t>(info.BaseAddress) + info.RegionSize;
    }
    return true;
}

bool Usable(const TriEntry* e) {
    if (!e || reinterpret_cast<uintptr_t>(e) == addr::kInvalidTriEntry || !Readable(e, sizeof(TriEntry))) return false;
    return !e->morphSet || Readable(e->morphSet, sizeof(MorphSet));
}

// Far more than the game keeps loaded; a longer list or chain is taken as a misread layout.
constexpr uint32_t kMaxLoadedEntries = 1u << 16;

}  // namespace

void LoadedResourceTable_Visit(LoadedResourceVisitor visit, void* context) {
    auto* db = *reinterpret_cast<FaceGenTriDatabase**>(addr::kLoadedResourceTable);
    if (!Readable(db, sizeof(FaceGenTriDatabase))) return;
    const tArray<TriEntry*>& slots = db->triEntries;
    if (slots.capacity > kMaxLoadedEntries || !Readable(slots.entries, slots.capacity * sizeof(TriEntry*))) return;
    uint32_t visited = 0;
    for (uint32_t i = 0; i < slots.capacity; ++i) {
        for (TriEntry* e = slots.entries[i]; Usable(e); e = e->next) {
            if (++visited > kMaxLoadedEntries) return;  // a chain that loops
            if (visit(e, context)) return;
        }
    }
}

// Unverified: read as a tArray of entry pointers at 0x01B3FD48, whose count word (+8) is the
// count global at 0x01B3FD50. Entries are taken one by one; no chain is followed, since
// nothing says its entries have one.
void LoadedResourceArray_Visit(LoadedResourceVisitor visit, void* context) {
    TriEntry* const* entries = *reinterpret_cast<TriEntry* const* const*>(addr::kLoadedResourceArray);
    const uint32_t count = *reinterpret_cast<const uint32_t*>(addr::kLoadedResourceArrayCount);
    if (count > kMaxLoadedEntries || !Readable(entries, count * sizeof(TriEntry*))) return;
    for (uint32_t i = 0; i < count; ++i)
        if (Usable(entries[i]) && visit(entries[i], context)) return;
}
