// GetVertexInArea: the vertices of the head around a picked vertex, for the vertex brush.
#include <string>
#include <vector>

#include "base/log.h"
#include "config/model.h"
#include "game/player.h"
#include "morph/tri_cache.h"
#include "morph/vertex_area.h"
#include "plugin/functions.h"
#include "plugin/slider_values.h"

void Fn_GetVertexInArea(const MenuCall& call) {
    if (!call.Check({kGFxType_String, kGFxType_Array, kGFxType_Number, kGFxType_Number, kGFxType_Number,
                     kGFxType_Number, kGFxType_Number, kGFxType_Number, kGFxType_Bool, kGFxType_Array},
                    "GetVertexInArea(raceName:String, info:Array, vertexID:Number, x:Number, y:Number, z:Number, "
                    "area:Number, areaType:Number, isMirror:Boolean, result:Array)"))
        return;
    AreaQuery query;
    query.vertexID = call.ArgInt(2);
    query.x = call.ArgNumber(3);
    query.y = call.ArgNumber(4);
    query.z = call.ArgNumber(5);
    query.area = call.ArgNumber(6);
    query.areaType = call.ArgInt(7);
    query.isMirror = Value_GetBool(call.Arg(8));

    std::string raceName;
    const RaceSetting* found = FindMenuRaceSetting(call.ArgString(0), raceName);
    if (!found) return;
    const RaceSetting& raceSetting = *found;
    if (!raceSetting.vertexEdit) {
        LogMessage("    ERROR: system: no vertexEditData found from scaleform call in this race. (%s)",
                   LogEscape(raceName).c_str());
        return;
    }
    const SliderValueList values = ReadSliderValues(call.Arg(1));

    TESNPC* npc = PlayerNpcForm(PlayerSingleton());
    if (!npc) return;
    const int sexCode = NpcForm_GetSex(npc) + 1;
    const VertexEditSexBlock& block = raceSetting.vertexEdit->Block(sexCode);

    // The brush measures the mesh of the last merge; it never loads one of its own.
    if (raceName != CachedRaceName() || sexCode != CachedSexCode()) return;
    const TriFile* tri = FindCachedTri(block.name);
    if (!tri) {
        LogMessage("    ERROR: empty morphSource for : %s", LogEscape(block.name).c_str());
        return;
    }

    std::vector<AreaSelection> selection;
    if (!SelectVertexArea(*tri, block, values, raceSetting, sexCode, query, selection)) return;
    GFxValue& result = call.Arg(9);
    for (const AreaResult& r : TruncateSelection(selection))
        ResultRecord(call.Movie())
            .Number("vertexID", r.vertex)
            .Number("x", r.x)
            .Number("y", r.y)
            .Number("z", r.z)
            .AppendTo(result);
}
