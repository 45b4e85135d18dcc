// The player's forms and skeleton as every subsystem reaches them through the engine.
#pragma once

#include "game/engine.h"

// The player's base form cast to the NPC form; null when there is no player or the base form
// is not an NPC.
inline TESNPC* PlayerNpcForm(PlayerCharacter* player) {
    if (!player) return nullptr;
    TESForm* base = Reference_BaseForm(player);
    if (!base) return nullptr;
    return static_cast<TESNPC*>(RuntimeDynamicCast(base, 0, TypeDescriptor_BaseForm(), TypeDescriptor_NpcForm(), 0));
}

// The player's skeleton root: the loaded 3D root of a player-type reference when it has one,
// otherwise the reference's 3D root. Null when there is none.
inline NiNode* PlayerSkeletonRoot(PlayerCharacter* player) {
    if (!player) return nullptr;
    NiNode* root = Reference_GetRoot3D(&player->ref);
    if (RuntimeDynamicCast(player, 0, TypeDescriptor_Reference(), TypeDescriptor_Player(), 0)) {
        if (NiNode* loaded = Player_Loaded3DRoot(player)) root = loaded;
    }
    return root;
}

// A node of the player's skeleton by exact name; an empty name is the root itself.
inline NiAVObject* FindPlayerNode(PlayerCharacter* player, const char* name) {
    NiNode* root = PlayerSkeletonRoot(player);
    if (!root) return nullptr;
    if (!name || !*name) return &root->av;
    BSFixedString gameName{};
    FixedString_Construct(&gameName, name);
    NiAVObject* node = Node_GetObjectByName(&root->av, &gameName);
    FixedString_Release(&gameName);
    return node;
}
