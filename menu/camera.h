// The menu camera and the orientation of the character's nodes.
#pragma once

#include "game/engine.h"

// Field of view: a value above 0 becomes the current one; anything else (0, negative, not a
// finite number) restores the base one. Without a camera nothing happens.
void SetCameraFov(double fov);
// The camera's base field of view; 0 without a camera.
double GetCameraFov();

// The player model's node of that name, or null.
NiAVObject* FindCharacterNode(const char* name);

struct NodeAngles {
    double p = 0;
    double r = 0;
    double y = 0;
};
struct NodePosition {
    double x = 0;
    double y = 0;
    double z = 0;
};
// Pitch, roll and yaw of a world rotation (each rounded to a 32-bit float).
NodeAngles AnglesFromRotation(const NiMatrix33& m);
// Of the player's node of that name; zeros when it is missing.
NodeAngles NodeWorldAngles(const char* name);
NodePosition NodeWorldPosition(const char* name);

// The values GetPlayerAngles reports; false without a player.
struct PlayerAngles {
    NodeAngles base;
    NodeAngles head;
    NodePosition basePos;
    NodePosition cameraPos;
};
bool ReadPlayerAngles(PlayerAngles* out);

// Rz(c + pi/2) * Ry(b) * Rx(a + pi/2), the sums formed in 32-bit floats.
NiMatrix33 CameraNodeRotation(float a, float b, float c);
// The first child of a node with exactly that name, or null. Empty slots are skipped.
NiAVObject* FindChildByName(NiNode* parent, const char* name);
// Places the menu camera node ("WorldRoot Camera" under the camera's root). Returns false
// when there is no such node.
bool SetCameraPos(float x, float y, float z, float a, float b, float c);

// Writes the camera's root node and its children's local rotations to the log.
void LogCameraNodes();
