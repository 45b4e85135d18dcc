// The 26 menu functions installed under "Quorvix", in registration order. Each takes the
// call as the movie handed it to Invoke; their bodies live in plugin/functions/.
#pragma once

#include "plugin/bridge.h"

#define VTR_MENU_FUNCTIONS(X) \
    X(SetMergedMorphs)        \
    X(GetList)                \
    X(GetSlotData)            \
    X(Log)                    \
    X(LastLog)                \
    X(Test)                   \
    X(SetMergedMorphsMemory)  \
    X(UpdateModel)            \
    X(GetPlayerPreset)        \
    X(SetPlayerPreset)        \
    X(GetNthName)             \
    X(ValidCheck)             \
    X(GetColor)               \
    X(ARGB2HSL)               \
    X(HSL2ARGB)               \
    X(GetPlayerRaceName)      \
    X(ResetAllMorphs)         \
    X(SetCameraFov)           \
    X(GetCameraFov)           \
    X(GetTintsList)           \
    X(SetNthTintPath)         \
    X(SetNthTintColor)        \
    X(GetPlayerAngles)        \
    X(GetVertexInArea)        \
    X(SetCameraPos)           \
    X(GetHairName)

#define VTR_DECLARE_MENU_FUNCTION(Name) void Fn_##Name(const MenuCall& call);
VTR_MENU_FUNCTIONS(VTR_DECLARE_MENU_FUNCTION)
#undef VTR_DECLARE_MENU_FUNCTION

// The version number the plug-in reports to the host and to the menu.
constexpr uint32_t kPluginVersion = 46;
