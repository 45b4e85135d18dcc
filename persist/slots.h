// Slot files: the player's slider values saved per slot and race set in the documents folder,
// and read back together with the presets that the race definitions list.
#pragma once

#include <string>

#include "config/model.h"
#include "sliders/apply.h"

using FaceSlot = SliderValueList;

// Writes "_<slot>_<raceSetName>.slot" in the slot folder: header, one "id, value" line per
// pair, then the skeleton text. A failed write leaves any old file as it was and is logged.
void WriteSlotFile(int slot, const RaceSetting& raceSetting, const SliderValueList& values, const std::string& raceName);

// slot > 0: the slot file; 0: the single pair (-1, 0.0); < 0: preset -1 - slot of the first
// race definition that names the race (or the player's race editor id). False when there is
// nothing to read; `out` is then left empty.
bool LoadFaceSlot(const RaceSetting& raceSetting, const std::string& raceName, int slot, FaceSlot& out);

// Creates every folder named by a prefix of `path` that ends before a "\" or "/", in order;
// failures are ignored (a folder that exists already is fine).
void MakeFolders(const std::string& path);

// The slot folder with a trailing separator: the documents folder followed by
// "\My Games\Skyrim\VTR_save\"; empty when the documents folder is unknown.
std::string SlotFolder();
// The full path of a slot file; empty when the documents folder is unknown.
std::string SlotFilePath(int slot, const RaceSetting& raceSetting);
