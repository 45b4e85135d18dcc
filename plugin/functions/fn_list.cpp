// GetList: the slider list for the menu.
#include "config/loader.h"
#include "config/model.h"
#include "plugin/functions.h"
#include "base/log.h"
#include "sliders/slider_list.h"

namespace {

void AppendVertexList(GFxMovieView* movie, ResultRecord& record, const VertexEditSexBlock& block) {
    LocalValue list;
    Value_CreateArray(movie, &list.value);
    for (const MainVertexRecord& v : block.mainRecords) {
        ResultRecord(movie)
            .Number("vertexID", v.vertexID)
            .Number("mirrorVertID", v.mirrorVertID)
            .Number("UVPosX", v.uvPosX)
            .Number("UVPosY", v.uvPosY)
            .AppendTo(list.value);
    }
    record.Value("vertexList", list.value);
}

void AppendEntry(GFxMovieView* movie, GFxValue& result, const SliderListEntry& e) {
    ResultRecord record(movie);
    record.String("text", e.text)
        .Number("filterFlag", e.filterFlag)
        .Number("uniqueID", e.uniqueID)
        .Number("type", e.type)
        .Number("sliderMax", e.sliderMax)
        .Number("sliderMin", e.sliderMin)
        .Number("interval", e.interval)
        .String("categoryName", e.categoryName);
    if (e.hasSliderID) record.Number("sliderID", e.sliderID);
    if (e.vertexBlock) {
        record.Number("vertexNum", e.vertexBlock->vertexNum)
            .String("tintPic", e.vertexBlock->vertexTints)
            .String("uvMapPic", e.vertexBlock->uvMap);
        AppendVertexList(movie, record, *e.vertexBlock);
    }
    record.AppendTo(result);
}

}  // namespace

void Fn_GetList(const MenuCall& call) {
    if (!call.Check({kGFxType_String, kGFxType_Array, kGFxType_Number},
                    "GetList(raceName:String, result:Array, MaxID:Number (, hasFacialHair:Boolean, hasBrows:Boolean))"))
        return;
    const char* raceArg = call.ArgString(0);
    const std::string raceName = raceArg ? raceArg : "";
    GFxValue& result = call.Arg(1);
    bool hasFacialHair = call.ArgInt(2) == 45;
    bool hasBrows = true;
    if (call.Count() >= 5 && Value_Type(call.Arg(3)) == kGFxType_Bool && Value_Type(call.Arg(4)) == kGFxType_Bool) {
        hasFacialHair = Value_GetBool(call.Arg(3));
        hasBrows = Value_GetBool(call.Arg(4));
    }

    if (Config().raceSettings.empty()) LoadConfiguration(kConfigDirectory);

    SliderListResult list;
    if (!BuildSliderList(PlayerSingleton(), raceName, hasFacialHair, hasBrows, list)) return;
    for (const SliderListEntry& e : list.entries) AppendEntry(call.Movie(), result, e);
    ResultRecord(call.Movie()).Bool("isLimitedMode", list.isLimitedMode).AppendTo(result);
    LogMessage("match race: %s%s", LogEscape(list.raceName).c_str(), LogEscape(list.message).c_str());
}
