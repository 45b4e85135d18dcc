// Every address of the game build (runtime 0x09200000) the library uses, in one place.
#pragma once

#include <cstdint>

namespace addr {

// Globals (each holds a pointer to the object).
constexpr uintptr_t kPlayerSingleton = 0x01B2E8E4;
constexpr uintptr_t kPlayerCameraSingleton = 0x012E7288;
constexpr uintptr_t kScaleformHeap = 0x01B40E3C;
constexpr uintptr_t kLoadedResourceTable = 0x01B1A494;
constexpr uintptr_t kLoadedResourceArray = 0x01B3FD48;       // layout unverified
constexpr uintptr_t kLoadedResourceArrayCount = 0x01B3FD50;  // layout unverified
// The value the TRI database keeps in a slot it has invalidated.
constexpr uintptr_t kInvalidTriEntry = 0x0125CA9C;

// RTTI.
constexpr uintptr_t kRuntimeDynamicCast = 0x00F51DAE;  // cdecl
constexpr uintptr_t kTypeDescriptor_BaseForm = 0x0123B000;
constexpr uintptr_t kTypeDescriptor_NpcForm = 0x0123EA40;
constexpr uintptr_t kTypeDescriptor_Reference = 0x0123D0BC;
constexpr uintptr_t kTypeDescriptor_Player = 0x01277F1C;

// Member functions (thiscall).
constexpr uintptr_t kNpcForm_GetSex = 0x0055B510;
constexpr uintptr_t kQueueModelUpdate = 0x00730EE0;
constexpr uintptr_t kPlayer_GetTintMask = 0x00735F00;
constexpr uintptr_t kPlayer_CountTintMasks = 0x00735F40;
constexpr uintptr_t kFixedString_Construct = 0x00A511C0;
constexpr uintptr_t kFixedString_Set = 0x00A51210;
constexpr uintptr_t kFixedString_Release = 0x00A511B0;
constexpr uintptr_t kResourceStream_Open = 0x00AC6790;
constexpr uintptr_t kResourceStream_IsValid = 0x00AC6400;
constexpr uintptr_t kResourceStream_Read = 0x00AC6410;
constexpr uintptr_t kResourceStream_Skip = 0x00AC63B0;
constexpr uintptr_t kResourceStream_ReadLine = 0x00AC6710;
constexpr uintptr_t kResourceStream_Close = 0x00AC69B0;

// Scaleform value interface (thiscall on the value's object interface).
constexpr uintptr_t kGFxValue_SetMember = 0x00920D20;
constexpr uintptr_t kGFxValue_PushBack = 0x00920EF0;
constexpr uintptr_t kGFxValue_GetArraySize = 0x00920E80;
constexpr uintptr_t kGFxValue_GetElement = 0x00923AD0;
constexpr uintptr_t kGFxValue_ReleaseManaged = 0x00922660;

// Virtual slots.
constexpr unsigned kSlot_Reference_GetRoot3D = 0x70;
constexpr unsigned kSlot_Node_GetObjectByName = 0x27;
constexpr unsigned kSlot_Node_UpdateWorldData = 0x2D;
constexpr unsigned kSlot_Movie_CreateString = 0x0B;
constexpr unsigned kSlot_Movie_CreateObject = 0x0D;
constexpr unsigned kSlot_Movie_CreateArray = 0x0E;
constexpr unsigned kSlot_Movie_CreateFunction = 0x0F;
constexpr unsigned kSlot_Heap_Alloc = 0x0A;
constexpr unsigned kSlot_Heap_Free = 0x0C;

// The patched call: a five-byte relative call; its former target lies at the return
// address plus this displacement.
constexpr uintptr_t kHookedCallSite = 0x008F0A76;
constexpr uintptr_t kHookedCallFormerDisplacement = 0x205F35;

}  // namespace addr
