#include "menu/tints.h"

#include <cmath>

#include "game/player.h"
#include "menu/colours.h"
#include "base/numeric.h"

namespace {

TintMask* ListEntry(const tArray<TintMask*>* list, uint32_t index) {
    if (!list || !list->entries || index >= list->count) return nullptr;
    return list->entries[index];
}

// Skin tone: the colour's alpha scales the saturation in HSV, and the layer stays opaque.
void ApplySkinTone(TintMask* layer, uint8_t red, uint8_t green, uint8_t blue, double alpha, TESNPC* npcForm) {
    const double r = red / 255.0, g = green / 255.0, b = blue / 255.0;
    const double v = std::fmax(r, std::fmax(g, b));
    const double min = std::fmin(r, std::fmin(g, b));
    double s = v == 0 ? 0 : (v - min) / v;
    double h = HueDegrees(r, g, b);
    s *= alpha;

    double rc, gc, bc;
    if (s == 0) {
        rc = gc = bc = v;
    } else {
        if (h >= 360) h = 0;
        const double hp = h / 60;
        int i = TruncToInt32(hp);  // hp is in [0, 6)
        if (i > 5) i = 5;
        const double f = hp - i;
        const double p = v * (1 - s);
        const double q = v * (1 - s * f);
        const double t = v * (1 - s * (1 - f));
        switch (i) {
            case 0: rc = v; gc = t; bc = p; break;
            case 1: rc = q; gc = v; bc = p; break;
            case 2: rc = p; gc = v; bc = t; break;
            case 3: rc = p; gc = q; bc = v; break;
            case 4: rc = t; gc = p; bc = v; break;
            default: rc = v; gc = p; bc = q; break;
        }
    }
    // Rounded, not truncated: at full alpha the colour must come back unchanged, and the
    // round trip through HSV lands a hair below the exact byte for about half of all colours.
    layer->red = ClampedByte(rc * 255 + 0.5);
    layer->green = ClampedByte(gc * 255 + 0.5);
    layer->blue = ClampedByte(bc * 255 + 0.5);
    layer->alpha = 1.0f;
    if (npcForm) {
        npcForm->skinColorRed = layer->red;
        npcForm->skinColorGreen = layer->green;
        npcForm->skinColorBlue = layer->blue;
    }
}

uint32_t HairColour(PlayerCharacter* player) {
    TESNPC* npc = PlayerNpcForm(player);
    if (!npc || !npc->headData || !npc->headData->hairColor) return 0;
    const BGSColorForm* c = npc->headData->hairColor;
    return 0xFF000000u | (uint32_t{c->red} << 16) | (uint32_t{c->green} << 8) | c->blue;
}

}  // namespace

uint8_t TintAlphaByte(const TintMask& layer) { return ClampedByte(static_cast<double>(layer.alpha) * 255); }

uint32_t TintColourToArgb(const TintMask& layer) {
    return (uint32_t{TintAlphaByte(layer)} << 24) | (uint32_t{layer.red} << 16) | (uint32_t{layer.green} << 8) |
           layer.blue;
}

void ApplyTintColor(TintMask* layer, uint32_t argb, TESNPC* npcForm) {
    if (!layer) return;
    const uint32_t a = argb >> 24;
    const uint8_t red = (argb >> 16) & 0xFF;
    const uint8_t green = (argb >> 8) & 0xFF;
    const uint8_t blue = argb & 0xFF;
    const float alpha = static_cast<float>(a) / 255.0f;
    if (layer->tintType == kTintType_SkinTone) {
        ApplySkinTone(layer, red, green, blue, alpha, npcForm);
        return;
    }
    layer->red = red;
    layer->green = green;
    layer->blue = blue;
    layer->alpha = alpha;
}

std::vector<uint32_t> VisibleTintIndices(PlayerCharacter* player, uint32_t tintType) {
    std::vector<uint32_t> out;
    if (!player) return out;
    const uint32_t n = Player_CountTintMasks(player, tintType);
    for (uint32_t i = 0; i < n; ++i) {
        TintMask* layer = Player_GetTintMask(player, tintType, i);
        if (layer && TintAlphaByte(*layer) != 0) out.push_back(i);
    }
    return out;
}

void SetPlayerTintColor(uint32_t argb, uint32_t tintType, uint32_t index) {
    PlayerCharacter* player = PlayerSingleton();
    TESNPC* npc = PlayerNpcForm(player);
    if (!npc) return;
    TintMask* layer = Player_GetTintMask(player, tintType, index);
    if (!layer) return;
    ApplyTintColor(layer, argb, npc);

    const tArray<TintMask*>* second = Player_SecondTintList(player);
    if (!second) return;
    const tArray<TintMask*>* main = Player_TintList(player);
    if (!main->entries) return;
    for (uint32_t pos = 0; pos < main->count; ++pos) {
        if (main->entries[pos] == layer) {
            ApplyTintColor(ListEntry(second, pos), argb, npc);
            return;
        }
    }
}

void SetVisibleTintsColor(uint32_t argb) {
    // An alpha of 0 would hide the layers and they would not be found again next time.
    if ((argb >> 24) == 0) argb |= 0x01000000u;
    for (uint32_t index : VisibleTintIndices(PlayerSingleton(), kTintType_WarPaint))
        SetPlayerTintColor(argb, kTintType_WarPaint, index);
}

std::vector<TintListEntry> PlayerTintList() {
    std::vector<TintListEntry> out;
    PlayerCharacter* player = PlayerSingleton();
    if (!player) return out;
    const tArray<TintMask*>* list = Player_TintList(player);
    for (uint32_t i = 0; list->entries && i < list->count; ++i) {
        const TintMask* layer = list->entries[i];
        if (!layer || !layer->texture) continue;
        const char* path = layer->texture->str.data;
        out.push_back({i, TintColourToArgb(*layer), layer->tintType, path ? path : ""});
    }
    return out;
}

void SetNthTintPath(uint32_t index, const char* path) {
    PlayerCharacter* player = PlayerSingleton();
    if (!player) return;
    if (!path) path = "";
    if (TintMask* layer = ListEntry(Player_TintList(player), index); layer && layer->texture)
        FixedString_Set(&layer->texture->str, path);
    if (TintMask* layer = ListEntry(Player_SecondTintList(player), index); layer && layer->texture)
        FixedString_Set(&layer->texture->str, path);
}

void SetNthTintColor(uint32_t index, uint32_t argb) {
    PlayerCharacter* player = PlayerSingleton();
    TESNPC* npc = PlayerNpcForm(player);
    if (!npc) return;
    ApplyTintColor(ListEntry(Player_TintList(player), index), argb, npc);
    ApplyTintColor(ListEntry(Player_SecondTintList(player), index), argb, npc);
}

uint32_t PlayerColourForMenu(int32_t uniqueID) {
    int32_t source = 0;
    if (!ColourMenuSource(uniqueID, &source)) return 0;
    PlayerCharacter* player = PlayerSingleton();
    if (!player) return 0;
    if (source == kColourSourceHair) return HairColour(player);
    const uint32_t type = static_cast<uint32_t>(source);
    if (type == kTintType_WarPaint) {
        std::vector<uint32_t> visible = VisibleTintIndices(player, type);
        if (visible.empty()) return 0;
        TintMask* layer = Player_GetTintMask(player, type, visible.front());
        return layer ? TintColourToArgb(*layer) : 0;
    }
    TintMask* layer = Player_GetTintMask(player, type, 0);
    return layer ? TintColourToArgb(*layer) : 0;
}
