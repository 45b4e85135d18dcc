// Data layouts of the game build (runtime 0x09200000) and of the script extender's host
// records. Field order and widths follow the game; offsets are those of the 32-bit build and
// are pinned below on that build. The simulated game builds the same structs in ordinary
// memory, where pointers may be wider and the offsets differ.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && defined(__i386__)
#define VTR_GAME_ABI_I686 1
#define VTR_THISCALL __attribute__((thiscall))
#else
#define VTR_GAME_ABI_I686 0
#define VTR_THISCALL
#endif

// ---------------------------------------------------------------------------------------------
// Host (script extender) records

struct PluginInfo {
    uint32_t infoVersion;  // 00
    const char* name;      // 04
    uint32_t version;      // 08
};

struct SKSEInterface {
    uint32_t skseVersion;                    // 00
    uint32_t runtimeVersion;                 // 04
    uint32_t editorVersion;                  // 08
    uint32_t isEditor;                       // 0C
    void* (*QueryInterface)(uint32_t id);    // 10
    uint32_t (*GetPluginHandle)();           // 14
    uint32_t (*GetReleaseIndex)();           // 18
};

struct GFxMovieView;
struct GFxValue;
using SKSEScaleformRegisterCallback = bool (*)(GFxMovieView* view, GFxValue* root);

struct SKSEScaleformInterface {
    uint32_t interfaceVersion;                                           // 00
    bool (*Register)(const char* name, SKSEScaleformRegisterCallback);   // 04
    void* RegisterForInventory;                                          // 08
};

enum : uint32_t { kInterface_Scaleform = 1 };
enum : uint32_t { kRuntimeVersion_1_9_32_0 = 0x09200000 };

// ---------------------------------------------------------------------------------------------
// Scaleform

struct GFxValue_ObjectInterface {
    void* root;  // 00 the movie root
};

// The game packs the value to 4 bytes; elsewhere natural alignment keeps the number aligned.
#if VTR_GAME_ABI_I686
#pragma pack(push, 4)
#endif
struct GFxValue {
    GFxValue_ObjectInterface* objectInterface;  // 00
    uint32_t type;                              // 04
    union Data {
        double number;
        bool boolean;
        const char* string;
        const char** managedString;
        void* obj;
    } data;                                     // 08
};
#if VTR_GAME_ABI_I686
#pragma pack(pop)
#endif

enum GFxValueType : uint32_t {
    kGFxType_Undefined = 0,
    kGFxType_Null = 1,
    kGFxType_Bool = 2,
    kGFxType_Number = 3,
    kGFxType_String = 4,
    kGFxType_WideString = 5,
    kGFxType_Object = 6,
    kGFxType_Array = 7,
    kGFxType_DisplayObject = 8,
    kGFxTypeMask = 0x8F,
    kGFxManagedFlag = 0x40,
};

// The movie view derives from the reference-counted base: vtable, then the count.
struct GFxMovieView {
    void* vtbl;        // 00
    int32_t refCount;  // 04
};

struct GFxFunctionHandler;

// The call record the movie hands to Invoke.
struct GFxFunctionHandler_Args {
    GFxValue* result;      // 00
    GFxMovieView* movie;   // 04
    GFxValue* thisObj;     // 08
    GFxValue* unk0C;       // 0C
    GFxValue* args;        // 10
    uint32_t numArgs;      // 14
    void* refCon;          // 18
};

// Objects the game calls carry an explicit table in the game compiler's layout: one
// deleting-destructor slot, then Invoke. (g++ would give a virtual destructor two slots.)
struct GFxFunctionHandler_Vtbl {
    void* (VTR_THISCALL* destroy)(GFxFunctionHandler* self, uint32_t flags);  // slot 0
    void (VTR_THISCALL* invoke)(GFxFunctionHandler* self, GFxFunctionHandler_Args* args);  // slot 1
};

struct GFxFunctionHandler {
    const GFxFunctionHandler_Vtbl* vtbl;  // 00
    volatile int32_t refCount;            // 04 starts at 1
};

// ---------------------------------------------------------------------------------------------
// Game strings and containers

struct BSFixedString {
    const char* data;  // 00
};

template <class T>
struct tArray {
    T* entries;         // 00
    uint32_t capacity;  // 04
    uint32_t count;     // 08
};

struct NiPoint3 {
    float x, y, z;
};

struct NiMatrix33 {
    float data[3][3];  // row-major: element (r, c)
};

struct NiTransform {
    NiMatrix33 rot;  // 00
    NiPoint3 pos;    // 24
    float scale;     // 30
};

// ---------------------------------------------------------------------------------------------
// Scene graph

struct NiNode;
struct NiAVObject;

struct NiTArray_AVObject {
    void* vtbl;                // 00
    NiAVObject** data;         // 04
    uint16_t capacity;         // 08
    uint16_t emptyRunStart;    // 0A
    uint16_t filledCount;      // 0C
    uint16_t growSize;         // 0E

    // The array is sparse: slots from the empty run's start on are unused, and slots before
    // it may be empty too (null). Never beyond the capacity, whatever the counts say.
    uint16_t SlotsInUse() const { return emptyRunStart < capacity ? emptyRunStart : capacity; }
};

struct NiAVObject {
    void* vtbl;                   // 00
    int32_t refCount;             // 04
    const char* m_name;           // 08 pooled string
    void* m_controller;           // 0C
    void* m_extraData;            // 10
    uint16_t m_extraDataLen;      // 14
    uint16_t m_extraDataCapacity; // 16
    NiNode* m_parent;             // 18
    uint32_t unk1C;               // 1C
    NiTransform m_localTransform; // 20
    NiTransform m_worldTransform; // 54
    uint8_t unk88[0x10];          // 88
    uint32_t m_flags;             // 98
    uint8_t unk9C[0x0C];          // 9C
};

struct NiNode {
    NiAVObject av;                  // 00
    NiTArray_AVObject m_children;   // A8
};

struct ControllerUpdateContext {
    float delta;     // 00
    uint32_t flags;  // 04
};

// ---------------------------------------------------------------------------------------------
// Forms

struct TESForm {
    void* vtbl;         // 00
    uint32_t unk04;     // 04
    uint32_t flags;     // 08
    uint32_t formID;    // 0C
    uint16_t unk10;     // 10
    uint8_t formType;   // 12
    uint8_t pad13;      // 13
};

struct TESFullName {
    void* vtbl;          // 00
    BSFixedString name;  // 04
};

struct TESModel {
    void* vtbl;          // 00
    BSFixedString name;  // 04 the model path
    uint32_t unk08;      // 08
    uint32_t unk0C;      // 0C
    uint16_t unk10;      // 10
    uint16_t unk12;      // 12
};

struct TESTexture {
    void* vtbl;          // 00
    BSFixedString str;   // 04 the texture path
};

struct TESRace {
    TESForm form;                   // 000
    TESFullName fullName;           // 014 display name at 018
    uint8_t unk01C[0x1D0 - 0x1C];   // 01C
    BSFixedString editorId;         // 1D0
    uint8_t unk1D4[0x2BC - 0x1D4];  // 1D4
};

struct BGSColorForm {
    TESForm form;           // 00
    TESFullName fullName;   // 14
    uint8_t red;            // 1C
    uint8_t green;          // 1D
    uint8_t blue;           // 1E
    uint8_t alpha;          // 1F unused
    uint32_t unk20;         // 20
};

struct BGSHeadPart {
    TESForm form;                // 00
    TESFullName fullName;        // 14 name at 18
    TESModel model;              // 1C
    uint8_t unk30[0x38 - 0x30];  // 30 rest of the texture-swap model
    uint8_t partFlags;           // 38
    uint8_t pad39[3];            // 39
    uint32_t type;               // 3C 0 misc, 1 face, 2 eyes, 3 hair, 4 facial hair, 5 scar, 6 brows
    tArray<BGSHeadPart*> extraParts;  // 40
    void* textureSet;            // 4C
    TESModel raceMorph;          // 50
    TESModel morph;              // 64
    TESModel chargenMorph;       // 78 TRI path at 7C
    uint32_t unk8C;              // 8C
    void* validRaces;            // 90
    BSFixedString partName;      // 94 editor id
};

enum : uint32_t {
    kHeadPart_Misc = 0,
    kHeadPart_Face = 1,
    kHeadPart_Eyes = 2,
    kHeadPart_Hair = 3,
    kHeadPart_FacialHair = 4,
    kHeadPart_Scar = 5,
    kHeadPart_Brows = 6,
};

struct FaceMorphs {
    float option[19];     // 00
    int32_t presets[4];   // 4C nose, brow, eyes, lip
};

struct HeadData {
    BGSColorForm* hairColor;  // 00
    void* headTexture;        // 04
};

struct TESNPC {
    TESForm form;                   // 000
    uint8_t unk014[0x84 - 0x14];    // 014
    TESFullName fullName;           // 084
    uint8_t unk08C[0xC4 - 0x8C];    // 08C
    TESRace* race;                  // 0C4
    uint8_t unk0C8[0x110 - 0xC8];   // 0C8
    HeadData* headData;             // 110
    uint8_t unk114[0x14C - 0x114];  // 114
    BGSHeadPart** headparts;        // 14C
    uint8_t numHeadParts;           // 150
    uint8_t unk151[3];              // 151
    uint8_t skinColorRed;           // 154
    uint8_t skinColorGreen;         // 155
    uint8_t skinColorBlue;          // 156
    uint8_t pad157;                 // 157
    uint32_t unk158;                // 158
    FaceMorphs* faceMorph;          // 15C
    uint32_t unk160;                // 160
};

struct TintMask {
    TESTexture* texture;  // 00
    uint8_t red;          // 04
    uint8_t green;        // 05
    uint8_t blue;         // 06
    uint8_t unusedAlpha;  // 07
    float alpha;          // 08 0.0 to 1.0
    uint32_t tintType;    // 0C
};

enum : uint32_t { kTintType_SkinTone = 6, kTintType_WarPaint = 7 };

// ---------------------------------------------------------------------------------------------
// References and the player

struct LoadedState {
    uint8_t unk00[0x20];  // 00
    NiNode* node;         // 20 third-person 3D root
};

struct TESObjectREFR {
    TESForm form;                // 00
    uint32_t handleRefObject[2]; // 14
    void* animGraphEventSink;    // 1C
    void* animGraphHolder;       // 20
    TESForm* baseForm;           // 24
    NiPoint3 rot;                // 28
    NiPoint3 pos;                // 34
    void* parentCell;            // 40
    LoadedState* loadedState;    // 44
    uint32_t extraData[2];       // 48
    uint32_t unk50;              // 50
};

struct PlayerCharacter {
    TESObjectREFR ref;                      // 000
    uint8_t unk054[0x130 - 0x54];           // 054
    TESRace* race;                          // 130
    uint8_t unk134[0x58C - 0x134];          // 134
    NiNode* firstPersonSkeleton;            // 58C
    uint8_t unk590[0x6E8 - 0x590];          // 590
    tArray<TintMask*> tintMasks;            // 6E8
    tArray<TintMask*>* overlayTintMasks;    // 6F4 may be null
    uint8_t unk6F8[0x720 - 0x6F8];          // 6F8
};

// Plain-data accessors.
inline TESForm* Reference_BaseForm(PlayerCharacter* player) { return player->ref.baseForm; }
inline TESRace* Player_Race(PlayerCharacter* player) { return player->race; }
inline tArray<TintMask*>* Player_TintList(PlayerCharacter* player) { return &player->tintMasks; }
inline tArray<TintMask*>* Player_SecondTintList(PlayerCharacter* player) { return player->overlayTintMasks; }
inline NiNode* Player_Loaded3DRoot(PlayerCharacter* player) {
    return player->ref.loadedState ? player->ref.loadedState->node : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Camera

struct PlayerCamera {
    void* vtbl;                     // 00
    float rotZ;                     // 04
    float rotX;                     // 08
    NiPoint3 pos;                   // 0C
    float zoom;                     // 18
    NiNode* cameraNode;             // 1C
    void* cameraState;              // 20
    uint8_t unk24[0xAC - 0x24];     // 24
    float worldFOV;                 // AC the current field of view
    float firstPersonFOV;           // B0
};

// ---------------------------------------------------------------------------------------------
// Resource stream: a buffer of the game's stream object, constructed in place.

struct BSResourceNiBinaryStream {
    alignas(8) uint8_t storage[0x20];
};

// ---------------------------------------------------------------------------------------------
// Loaded morph data: the face-generation TRI entries the game keeps for loaded .tri files.

// One morph of a loaded .tri file.
struct MorphRecord {
    const char* name;            // 00
    uint32_t unk04;              // 04
    int16_t* diffData;           // 08 x, y, z per vertex
    uint32_t unk0C;              // 0C
    uint32_t unk10;              // 10
    float baseDiff;              // 14 the scale of the deltas
    uint32_t diffVertexNum;      // 18
    uint32_t baseVertexNum;      // 1C
    uint32_t diffVertexPosNum;   // 20
};

// The morph data loaded from one .tri file.
struct MorphSet {
    void* vtbl;                      // 00
    const char* fileName;            // 04 relative to the data folder
    tArray<MorphRecord> morphData;   // 08 entries 08, capacity 0C, count 10
    uint8_t unk14[0x2C - 0x14];      // 14
    void* faceMorphData;             // 2C
};

constexpr uint32_t kTriEntryTag = 0x00697274;  // the bytes "tri\0" read as a little-endian word

// One loaded-resource entry; only those tagged "tri" carry a morph set.
struct TriEntry {
    uint32_t unk00;              // 00 zero in a free entry
    uint32_t tag;                // 04 "tri\0" for TRI entries
    uint8_t unk08[0x14 - 0x08];  // 08
    TriEntry* next;              // 14 the next entry of the same slot
    uint32_t unk18;              // 18
    MorphSet* morphSet;          // 1C
};

// The face-generation TRI database; the entry walk follows its slot array.
struct FaceGenTriDatabase {
    void* vtbl;                       // 00
    uint8_t unk04[0x6C - 0x04];       // 04
    tArray<TriEntry*> triEntries;     // 6C walked from 0 to capacity
};

// ---------------------------------------------------------------------------------------------
// Offsets of the 32-bit game build.

#if VTR_GAME_ABI_I686
#define VTR_PIN(T, field, off) static_assert(offsetof(T, field) == (off), #T "::" #field)
static_assert(sizeof(GFxValue) == 0x10);
VTR_PIN(GFxValue, type, 0x04);
VTR_PIN(GFxValue, data, 0x08);
static_assert(sizeof(GFxFunctionHandler) == 0x08);
VTR_PIN(GFxFunctionHandler_Args, args, 0x10);
VTR_PIN(GFxFunctionHandler_Args, numArgs, 0x14);
static_assert(sizeof(PluginInfo) == 0x0C);
VTR_PIN(SKSEInterface, runtimeVersion, 0x04);
VTR_PIN(SKSEInterface, isEditor, 0x0C);
VTR_PIN(SKSEInterface, QueryInterface, 0x10);
VTR_PIN(SKSEScaleformInterface, Register, 0x04);
static_assert(sizeof(NiTransform) == 0x34);
VTR_PIN(NiAVObject, m_name, 0x08);
VTR_PIN(NiAVObject, m_parent, 0x18);
VTR_PIN(NiAVObject, m_localTransform, 0x20);
VTR_PIN(NiAVObject, m_worldTransform, 0x54);
VTR_PIN(NiAVObject, m_flags, 0x98);
static_assert(sizeof(NiAVObject) == 0xA8);
VTR_PIN(NiNode, m_children, 0xA8);
static_assert(sizeof(NiNode) == 0xB8);
static_assert(sizeof(TESForm) == 0x14);
VTR_PIN(TESRace, fullName, 0x14);
VTR_PIN(TESRace, editorId, 0x1D0);
static_assert(sizeof(TESRace) == 0x2BC);
VTR_PIN(BGSColorForm, red, 0x1C);
static_assert(sizeof(BGSColorForm) == 0x24);
VTR_PIN(BGSHeadPart, type, 0x3C);
VTR_PIN(BGSHeadPart, chargenMorph, 0x78);
VTR_PIN(BGSHeadPart, partName, 0x94);
static_assert(sizeof(BGSHeadPart) == 0x98);
static_assert(sizeof(FaceMorphs) == 0x5C);
VTR_PIN(TESNPC, fullName, 0x84);
VTR_PIN(TESNPC, race, 0xC4);
VTR_PIN(TESNPC, headData, 0x110);
VTR_PIN(TESNPC, headparts, 0x14C);
VTR_PIN(TESNPC, numHeadParts, 0x150);
VTR_PIN(TESNPC, skinColorRed, 0x154);
VTR_PIN(TESNPC, faceMorph, 0x15C);
static_assert(sizeof(TESNPC) == 0x164);
static_assert(sizeof(TintMask) == 0x10);
VTR_PIN(TintMask, alpha, 0x08);
VTR_PIN(TintMask, tintType, 0x0C);
VTR_PIN(TESObjectREFR, baseForm, 0x24);
VTR_PIN(TESObjectREFR, loadedState, 0x44);
static_assert(sizeof(TESObjectREFR) == 0x54);
VTR_PIN(LoadedState, node, 0x20);
VTR_PIN(PlayerCharacter, race, 0x130);
VTR_PIN(PlayerCharacter, firstPersonSkeleton, 0x58C);
VTR_PIN(PlayerCharacter, tintMasks, 0x6E8);
VTR_PIN(PlayerCharacter, overlayTintMasks, 0x6F4);
static_assert(sizeof(PlayerCharacter) == 0x720);
VTR_PIN(PlayerCamera, cameraNode, 0x1C);
VTR_PIN(PlayerCamera, worldFOV, 0xAC);
VTR_PIN(PlayerCamera, firstPersonFOV, 0xB0);
static_assert(sizeof(MorphRecord) == 0x24);
VTR_PIN(MorphRecord, diffData, 0x08);
VTR_PIN(MorphRecord, baseDiff, 0x14);
VTR_PIN(MorphRecord, diffVertexNum, 0x18);
VTR_PIN(MorphRecord, baseVertexNum, 0x1C);
VTR_PIN(MorphRecord, diffVertexPosNum, 0x20);
VTR_PIN(MorphSet, fileName, 0x04);
VTR_PIN(MorphSet, morphData, 0x08);
VTR_PIN(MorphSet, faceMorphData, 0x2C);
static_assert(offsetof(MorphSet, morphData) + offsetof(tArray<MorphRecord>, count) == 0x10);
VTR_PIN(TriEntry, tag, 0x04);
VTR_PIN(TriEntry, next, 0x14);
VTR_PIN(TriEntry, morphSet, 0x1C);
VTR_PIN(FaceGenTriDatabase, triEntries, 0x6C);
#undef VTR_PIN
#endif
