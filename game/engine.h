// Operations of the game engine: fixed entry points, globals and virtual calls of the game
// build. Declared once here; defined by the simulated game (game/sim) and by the real
// binding (game/skyrim).
#pragma once

#include "game/records.h"

#if defined(_WIN32)
#define VTR_GAME_API
#else
#define VTR_GAME_API __attribute__((visibility("default")))
#endif

// --- Singletons and forms ---------------------------------------------------------------------

// The player; null before a game is loaded.
VTR_GAME_API PlayerCharacter* PlayerSingleton();
// The camera; the library assumes it exists whenever the game runs (may be null in the sim).
VTR_GAME_API PlayerCamera* PlayerCameraSingleton();

// RTTI cast: (object, 0, from, to, 0) -> object or null.
VTR_GAME_API void* RuntimeDynamicCast(void* object, uint32_t zero1, const void* fromType,
                                      const void* toType, uint32_t zero2);
VTR_GAME_API const void* TypeDescriptor_BaseForm();
VTR_GAME_API const void* TypeDescriptor_NpcForm();
VTR_GAME_API const void* TypeDescriptor_Reference();
VTR_GAME_API const void* TypeDescriptor_Player();

// 0 male, 1 female, negative none (unverified in the game: only the type is known).
VTR_GAME_API int8_t NpcForm_GetSex(TESNPC* npc);
// Ask the game to rebuild the player's model.
VTR_GAME_API void QueueModelUpdate(PlayerCharacter* player, bool updateWeight);

VTR_GAME_API TintMask* Player_GetTintMask(PlayerCharacter* player, uint32_t tintType, uint32_t index);
VTR_GAME_API uint32_t Player_CountTintMasks(PlayerCharacter* player, uint32_t tintType);

// --- Game strings -----------------------------------------------------------------------------

VTR_GAME_API void FixedString_Construct(BSFixedString* str, const char* text);
VTR_GAME_API void FixedString_Set(BSFixedString* str, const char* text);
VTR_GAME_API void FixedString_Release(BSFixedString* str);

// --- Resource streams (paths relative to the data folder) -------------------------------------

VTR_GAME_API void ResourceStream_Open(BSResourceNiBinaryStream* stream, const char* path, uint32_t zero1,
                                      uint32_t zero2);
VTR_GAME_API bool ResourceStream_IsValid(BSResourceNiBinaryStream* stream);
VTR_GAME_API uint32_t ResourceStream_Read(BSResourceNiBinaryStream* stream, void* buffer, uint32_t n);
VTR_GAME_API void ResourceStream_Skip(BSResourceNiBinaryStream* stream, int32_t n);
// Reads up to size - 1 bytes up to and including the terminator; returns the bytes stored
// with the terminator, 0 at the end of the stream (unverified in the game: only "a 32-bit
// count" is known; callers also stop at the string's end, so a count without the terminator
// loses nothing).
VTR_GAME_API uint32_t ResourceStream_ReadLine(BSResourceNiBinaryStream* stream, char* buffer, uint32_t size,
                                              uint32_t terminator);
VTR_GAME_API void ResourceStream_Close(BSResourceNiBinaryStream* stream);

// --- Loaded morph data ----------------------------------------------------------------------------

// Called with each entry of a loaded-resource list, in order; true stops the walk. Entries are
// handed out as the game keeps them: whether one is a usable TRI entry (first word, tag, morph
// set) is for the caller to check.
using LoadedResourceVisitor = bool (*)(TriEntry* entry, void* context);
// The TRI database's entries: every slot up to its capacity, free slots skipped, each slot's
// chain followed.
VTR_GAME_API void LoadedResourceTable_Visit(LoadedResourceVisitor visit, void* context);
// The second loaded-resource list (an entry array whose count is a global of its own).
VTR_GAME_API void LoadedResourceArray_Visit(LoadedResourceVisitor visit, void* context);

// --- Scene graph ------------------------------------------------------------------------------

VTR_GAME_API NiNode* Reference_GetRoot3D(TESObjectREFR* ref);
VTR_GAME_API NiAVObject* Node_GetObjectByName(NiAVObject* root, BSFixedString* name);
VTR_GAME_API void Node_UpdateWorldData(NiAVObject* node, ControllerUpdateContext* ctx);

// The camera's base field of view. Not a known field of the game build: the real binding
// documents what it reads.
VTR_GAME_API float PlayerCamera_GetBaseFov(PlayerCamera* camera);

// --- Scaleform ----------------------------------------------------------------------------------

VTR_GAME_API void* ScaleformHeap_Alloc(uint32_t size);
VTR_GAME_API void ScaleformHeap_Free(void* pointer);

VTR_GAME_API bool GFxValue_SetMember(GFxValue_ObjectInterface* iface, void* obj, const char* name,
                                     const GFxValue* value, bool isDisplayObj);
VTR_GAME_API bool GFxValue_PushBack(GFxValue_ObjectInterface* iface, void* obj, const GFxValue* value);
VTR_GAME_API uint32_t GFxValue_GetArraySize(GFxValue_ObjectInterface* iface, void* obj);
VTR_GAME_API bool GFxValue_GetElement(GFxValue_ObjectInterface* iface, void* obj, uint32_t index,
                                      GFxValue* out);
VTR_GAME_API void GFxValue_ReleaseManaged(GFxValue_ObjectInterface* iface, GFxValue* value, void* obj);

VTR_GAME_API void Movie_CreateString(GFxMovieView* movie, GFxValue* out, const char* text);
VTR_GAME_API void Movie_CreateObject(GFxMovieView* movie, GFxValue* out, const char* className,
                                     GFxValue* args, uint32_t numArgs);
VTR_GAME_API void Movie_CreateArray(GFxMovieView* movie, GFxValue* out);
VTR_GAME_API void Movie_CreateFunction(GFxMovieView* movie, GFxValue* out, GFxFunctionHandler* handler,
                                       void* refCon);

// --- Code ---------------------------------------------------------------------------------------

// The five-byte relative call that the library redirects to its hook entry.
VTR_GAME_API uint8_t* HookedCallSite();
// The routine that the call site called before it was patched. The 32-bit hook entry finds
// it from its return address instead; other builds call it through this.
using HookedRoutineFn = bool (*)(void* arg1, void* arg2, void* arg3, BSFixedString* text);
VTR_GAME_API HookedRoutineFn HookedCall_FormerTarget();
// The displacement of the call site's original five bytes (E8 followed by it), which is all
// the library patches over: other bytes mean another game build or another mod's patch.
VTR_GAME_API int32_t HookedCall_FormerDisplacement();
