// The simulated game: a small model of the game's objects that the engine operations of
// game/engine.h act on. Tests and tools build worlds with this API and check what changed.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "game/engine.h"

#define VTR_SIM_API __attribute__((visibility("default")))

namespace sim {

struct TransformSpec {
    float translate[3] = {0, 0, 0};
    float rotate[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // row by row
    float scale = 1.0f;
};

// ----- World ------------------------------------------------------------------------------------

// Empties the world: no player, no camera, no forms. Scaleform values and handler objects
// are not touched (they belong to the movies).
VTR_SIM_API void ResetWorld();

// A pooled game string (stable for the life of the process).
VTR_SIM_API const char* Intern(const std::string& text);

VTR_SIM_API TESRace* AddRace(const std::string& editorId, const std::string& displayName);
// A head part; an empty morph path leaves the chargen morph unset (null text).
VTR_SIM_API BGSHeadPart* AddHeadPart(uint32_t type, const std::string& name, const std::string& morphPath);
VTR_SIM_API BGSColorForm* AddColorForm(uint8_t r, uint8_t g, uint8_t b);
// An NPC form; sex 0 male, 1 female, negative none. Gets a face-morph record.
VTR_SIM_API TESNPC* AddNpc(int8_t sex);
VTR_SIM_API void Npc_SetSex(TESNPC* npc, int8_t sex);
// Appends a head part slot; null makes an empty slot.
VTR_SIM_API void Npc_AddHeadPart(TESNPC* npc, BGSHeadPart* part);
VTR_SIM_API void Npc_SetHairColor(TESNPC* npc, BGSColorForm* color);  // null: no head data
VTR_SIM_API void Npc_RemoveFaceMorphs(TESNPC* npc);
// A form that is not an NPC (for the failed cast).
VTR_SIM_API TESForm* AddOtherForm();

// The player. `isPlayerType` false makes a plain reference that does not cast to the
// player type.
VTR_SIM_API PlayerCharacter* CreatePlayer(TESForm* baseForm, TESRace* race, bool isPlayerType = true);
VTR_SIM_API void RemovePlayer();
VTR_SIM_API PlayerCharacter* Player();

// Tint layers. `second` adds to the second list (created on first use). An empty texture
// path with `hasTexture` false leaves the texture null.
VTR_SIM_API TintMask* AddTint(bool second, uint32_t type, bool hasTexture, const std::string& texturePath,
                              uint8_t r, uint8_t g, uint8_t b, float alpha);

// Scene nodes. A null parent makes a free-standing root.
VTR_SIM_API NiNode* AddNode(NiNode* parent, const std::string& name, const TransformSpec& local = {});
// Adds an empty child slot to a node's child array.
VTR_SIM_API void AddEmptyChildSlot(NiNode* parent);
// Moves the child array's empty-run start (as the game leaves it after a child was detached):
// slots from there on hold whatever they held, the game reads none of them.
VTR_SIM_API void Node_SetEmptyRunStart(NiNode* parent, uint16_t start);
// Recomputes world transforms of a whole tree from its root.
VTR_SIM_API void UpdateTree(NiNode* root);
VTR_SIM_API void Player_SetRoot3D(NiNode* root);      // Reference_GetRoot3D
VTR_SIM_API void Player_SetLoaded3D(NiNode* root);    // loaded 3D data; null removes it
VTR_SIM_API std::vector<NiNode*> AllNodes();

// The camera. Without this call there is no camera.
VTR_SIM_API PlayerCamera* CreateCamera(float currentFov, float baseFov);
VTR_SIM_API void Camera_SetRoot(NiNode* root);

// Counters and inspection.
VTR_SIM_API int ModelUpdateCount();
VTR_SIM_API std::array<uint8_t, 5> CallSiteBytes();
// The call target the site's bytes lead to, or null when it still calls the former routine.
VTR_SIM_API void* CallSiteTarget();
// Runs the patched game routine with a text argument as the game's scripts would. Returns
// true when the routine ended without running its former body.
VTR_SIM_API bool RunHookedRoutine(const char* text);
VTR_SIM_API int FormerRoutineCalls();
// Puts other bytes at the call site (another game build, another mod's patch) / the original call.
VTR_SIM_API void SetCallSiteBytes(const std::array<uint8_t, 5>& bytes);
VTR_SIM_API void RestoreCallSite();

// ----- Scaleform ------------------------------------------------------------------------------

VTR_SIM_API GFxMovieView* CreateMovie();
VTR_SIM_API size_t LiveHeapAllocations();
// The next `count` allocations from the Scaleform heap give null, as the game's heap can.
VTR_SIM_API void FailHeapAllocations(int count);
// Managed values (strings, objects, arrays, functions) currently alive in the runtime.
VTR_SIM_API size_t LiveManagedValues();

VTR_SIM_API GFxValue MakeNumber(double x);
VTR_SIM_API GFxValue MakeBool(bool b);
VTR_SIM_API GFxValue MakeUndefined();
// Releases a value the caller owns.
VTR_SIM_API void Release(GFxValue& value);

// Reading values for checks: members of an Object in order, elements of an Array.
VTR_SIM_API std::vector<std::pair<std::string, const GFxValue*>> ObjectMembers(const GFxValue& object);
VTR_SIM_API std::vector<const GFxValue*> ArrayElements(const GFxValue& array);
VTR_SIM_API const char* StringText(const GFxValue& value);
VTR_SIM_API bool IsFunction(const GFxValue& value);
VTR_SIM_API GFxFunctionHandler* FunctionHandler(const GFxValue& value);

// Calls the function stored as member `name` of `object` the way the movie does: an Args
// record handed to the handler's Invoke slot. False when there is no such function.
VTR_SIM_API bool InvokeMember(GFxMovieView* movie, GFxValue& object, const char* name, GFxValue* args,
                              uint32_t numArgs, GFxValue* result);

}  // namespace sim
