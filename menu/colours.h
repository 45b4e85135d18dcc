// Colour conversions between the game's ARGB colours and the menu's hue, saturation and
// lightness sliders, and which colour each colour entry of the menu stands for. Knows nothing
// of the player: the player's colours are read in menu/tints (which uses this, not the reverse).
#pragma once

#include <cstdint>

// Hue in degrees [0, 360) of channels in 0..1; 0 for a grey. Ties go to red, then green.
double HueDegrees(double r, double g, double b);

// A value on the 0..255 scale truncated and held to 0..255; NaN is 0.
uint8_t ClampedByte(double scaled);
// A channel value 0..1 (or beyond) as a byte: value * 255 truncated, held to 0..255.
uint8_t ChannelByte(double value);

// The slider values of a colour: hue 0..359, saturation, lightness and alpha in percent.
struct MenuHsl {
    int32_t h = 0;
    int32_t s = 0;
    int32_t l = 0;
    int32_t alpha = 0;
};
MenuHsl ArgbToMenuHsl(uint32_t argb);

// Builds an ARGB colour from slider values. Any finite hue is wrapped into 0..360; a hue
// that is not finite counts as 0. Channels are held to 0..255 so that none spills into its
// neighbour.
uint32_t MenuHslToArgb(double h, double s, double l, double alpha);

// Source of a colour menu entry: a tint type, or kColourSourceHair. False when the uniqueID
// is no colour entry.
constexpr int32_t kColourSourceHair = -1;
bool ColourMenuSource(int32_t uniqueID, int32_t* source);
