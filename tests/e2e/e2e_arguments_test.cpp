// Every menu function that takes arguments refuses wrong ones with its own message and
// nothing else, whichever argument is wrong.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_support.h"

namespace {

enum Arg { S, A, N, B };  // String, Array, Number, Boolean

struct Row {
    const char* name;
    std::vector<Arg> args;  // the arguments the function reads
    const char* message;
};

const Row kRows[] = {
    {"SetMergedMorphs", {S, A, N},
     "    ERROR: system: invalid arguments. Quorvix.SetMergedMorphs(raceName:String, info:Array, storeSlot:Number)."},
    {"GetList", {S, A, N},
     "    ERROR: system: invalid arguments. Quorvix.GetList(raceName:String, result:Array, MaxID:Number (, "
     "hasFacialHair:Boolean, hasBrows:Boolean))."},
    {"GetSlotData", {S, N, A},
     "    ERROR: system: invalid arguments. Quorvix.GetSlotData(raceName:String, slot:Number, result:Array)."},
    {"SetMergedMorphsMemory", {S, A, N},
     "    ERROR: system: invalid arguments. Quorvix.SetMergedMorphsMemory(raceName:String, info:Array, "
     "storeSlot:Number)."},
    {"GetPlayerPreset", {N}, "    ERROR: system: invalid arguments. Quorvix.GetPlayerPreset(index:Number)."},
    {"SetPlayerPreset", {N, N}, "    ERROR: system: invalid arguments. Quorvix.SetPlayerPreset(index:Number, pos:Number)."},
    {"GetNthName", {N, A}, "    ERROR: system: invalid arguments. Quorvix.GetNthName(index:Number, result:Array)."},
    {"GetColor", {N}, "    ERROR: system: invalid arguments. Quorvix.GetColor(uniqueID:Number)."},
    {"ARGB2HSL", {N, A}, "    ERROR: system: invalid arguments. Quorvix.ARGB2HSL(argb:Number, result:Array)."},
    {"HSL2ARGB", {N, N, N, N},
     "    ERROR: system: invalid arguments. Quorvix.HSL2ARGB(h:Number, s:Number, l:Number, alpha:Number)."},
    {"GetPlayerRaceName", {A}, "    ERROR: system: invalid arguments. Quorvix.GetPlayerRaceName(result:Array)."},
    {"SetCameraFov", {N}, "    ERROR: system: invalid arguments. Quorvix.SetCameraFov(fov:Number)."},
    {"GetTintsList", {A}, "    ERROR: system: invalid arguments. Quorvix.GetTintsList(result:Array)."},
    {"SetNthTintPath", {N, S}, "    ERROR: system: invalid arguments. Quorvix.SetNthTintPath(index:Number, path:String)."},
    {"SetNthTintColor", {N, N},
     "    ERROR: system: invalid arguments. Quorvix.SetNthTintColor(index:Number, color:Number)."},
    {"GetPlayerAngles", {A}, "    ERROR: system: invalid arguments. Quorvix.GetPlayerAngles(result:Array)."},
    {"GetVertexInArea", {S, A, N, N, N, N, N, N, B, A},
     "    ERROR: system: invalid arguments. Quorvix.GetVertexInArea(raceName:String, info:Array, vertexID:Number, "
     "x:Number, y:Number, z:Number, area:Number, areaType:Number, isMirror:Boolean, result:Array)."},
    {"SetCameraPos", {N, N, N, N, N, N},
     "    ERROR: system: invalid arguments. Quorvix.SetCameraPos(x:Number, y:Number, z:Number, a:Number, b:Number, "
     "c:Number)."},
    {"GetHairName", {A}, "    ERROR: system: invalid arguments. Quorvix.GetHairName(result:Array)."},
};

GFxValue Make(Arg a) {
    switch (a) {
        case S: return e2e::MakeString("Nord");
        case A: return e2e::MakeArray();
        case N: return sim::MakeNumber(1);
        case B: return sim::MakeBool(true);
    }
    return sim::MakeUndefined();
}

// A value of a type close to, but not, the expected one: a Boolean is no Number, a Number no
// Boolean, a plain Object no Array.
GFxValue Wrong(Arg a) {
    switch (a) {
        case S: return sim::MakeNumber(1);
        case A: return e2e::MakeObject();
        case N: return sim::MakeBool(true);
        case B: return sim::MakeNumber(1);
    }
    return sim::MakeUndefined();
}

// What the return value holds after a refused call: untouched, except where a function sets
// it before it checks.
std::string ReturnAfterRefusal(const std::string& name, const GFxValue& v) {
    switch (v.type & kGFxTypeMask) {
        case kGFxType_Undefined: return "untouched";
        case kGFxType_Number: return "Number " + std::to_string(v.data.number);
        case kGFxType_Bool: return v.data.boolean ? "true" : "false";
        default: return name + ": type " + std::to_string(v.type);
    }
}

std::string ExpectedReturn(const std::string& name) {
    if (name == "GetPlayerPreset") return "Number " + std::to_string(0.0);
    if (name == "SetMergedMorphsMemory") return "false";
    return "untouched";
}

TEST(E2EArguments, EveryWrongArgumentListLogsTheFunctionsMessage) {
    sim::ResetWorld();
    e2e::Plugin::Get();
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        std::vector<std::pair<std::string, std::vector<GFxValue>>> lists;
        lists.push_back({"no arguments", {}});
        std::vector<GFxValue> tooFew;
        for (size_t i = 0; i + 1 < row.args.size(); ++i) tooFew.push_back(Make(row.args[i]));
        lists.push_back({"one argument too few", tooFew});
        for (size_t wrong = 0; wrong < row.args.size(); ++wrong) {
            std::vector<GFxValue> args;
            for (size_t i = 0; i < row.args.size(); ++i) args.push_back(i == wrong ? Wrong(row.args[i]) : Make(row.args[i]));
            args.push_back(sim::MakeNumber(7));  // extra arguments do not make a wrong list right
            lists.push_back({"argument " + std::to_string(wrong) + " of the wrong type", args});
        }
        for (auto& [what, args] : lists) {
            SCOPED_TRACE(what);
            size_t managedBefore = sim::LiveManagedValues();
            size_t argsManaged = 0;
            for (const GFxValue& a : args) argsManaged += (a.type & kGFxManagedFlag) != 0;
            e2e::CallResult r = e2e::CallMenu(row.name, args);
            ASSERT_TRUE(r.found);
            EXPECT_EQ(r.log, std::vector<std::string>{row.message});
            EXPECT_EQ(ReturnAfterRefusal(row.name, r.result), ExpectedReturn(row.name));
            sim::Release(r.result);
            EXPECT_EQ(sim::LiveManagedValues(), managedBefore - argsManaged) << "a refused call leaks no values";
        }
    }
}

// Functions without arguments check none: extra arguments of any type change nothing.
TEST(E2EArguments, FunctionsWithoutArgumentsIgnoreExtraOnes) {
    sim::ResetWorld();
    for (const char* name : {"Test", "UpdateModel", "ValidCheck", "ResetAllMorphs", "GetCameraFov"}) {
        SCOPED_TRACE(name);
        e2e::CallResult r = e2e::CallMenu(name, {e2e::MakeObject(), sim::MakeBool(false)});
        ASSERT_TRUE(r.found);
        for (const std::string& line : r.log) EXPECT_EQ(line.find("invalid arguments"), std::string::npos) << line;
        sim::Release(r.result);
    }
}

}  // namespace
