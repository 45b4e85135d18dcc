#include "plugin/bridge.h"

#include <cstdlib>

#include "base/log.h"
#include "base/numeric.h"

namespace {

[[noreturn]] void InternalError(int line, const char* text) {
    LogFatal("Assertion failed in %s (%d): %s", "ScaleformCallbacks", line, text);
    std::abort();
}

bool IsDisplayObject(const GFxValue& v) { return Value_Type(v) == kGFxType_DisplayObject; }

}  // namespace

uint32_t Value_Type(const GFxValue& v) { return v.type & kGFxTypeMask; }

double Value_GetNumber(const GFxValue& v) {
    switch (Value_Type(v)) {
        case kGFxType_Number: return v.data.number;
        case kGFxType_Bool: return v.data.boolean ? 1.0 : 0.0;
        default: InternalError(104, "GFxValue::GetNumber: bad type");
    }
}

bool Value_GetBool(const GFxValue& v) {
    switch (Value_Type(v)) {
        case kGFxType_Bool: return v.data.boolean;
        case kGFxType_Number: return v.data.number != 0.0;  // NaN counts as true
        default: InternalError(72, "GFxValue::GetBool: bad type");
    }
}

const char* Value_GetString(const GFxValue& v) {
    if (Value_Type(v) != kGFxType_String) return nullptr;
    if (v.type & kGFxManagedFlag) return v.data.managedString ? *v.data.managedString : nullptr;
    return v.data.string;
}

void Value_Release(GFxValue& v) {
    if (v.type & kGFxManagedFlag) GFxValue_ReleaseManaged(v.objectInterface, &v, v.data.obj);
    v.objectInterface = nullptr;
    v.type = kGFxType_Undefined;
}

void Value_SetNumber(GFxValue& v, double x) {
    Value_Release(v);
    v.type = kGFxType_Number;
    v.data.number = x;
}

void Value_SetBool(GFxValue& v, bool b) {
    Value_Release(v);
    v.type = kGFxType_Bool;
    v.data.number = 0;
    v.data.boolean = b;
}

bool Value_SetMember(GFxValue& object, const char* name, const GFxValue& value) {
    return GFxValue_SetMember(object.objectInterface, object.data.obj, name, &value, IsDisplayObject(object));
}

bool Value_PushBack(GFxValue& array, const GFxValue& value) {
    return GFxValue_PushBack(array.objectInterface, array.data.obj, &value);
}

uint32_t Value_GetArraySize(const GFxValue& array) {
    return GFxValue_GetArraySize(array.objectInterface, array.data.obj);
}

bool Value_GetElement(const GFxValue& array, uint32_t index, GFxValue* out) {
    return GFxValue_GetElement(array.objectInterface, array.data.obj, index, out);
}

void Value_CreateObject(GFxMovieView* movie, GFxValue* out) { Movie_CreateObject(movie, out, nullptr, nullptr, 0); }
void Value_CreateString(GFxMovieView* movie, GFxValue* out, const char* text) {
    Movie_CreateString(movie, out, text ? text : "");
}
void Value_CreateArray(GFxMovieView* movie, GFxValue* out) { Movie_CreateArray(movie, out); }

void SetStringMember(GFxMovieView* movie, GFxValue& object, const char* name, const char* text) {
    LocalValue s;
    Value_CreateString(movie, &s.value, text);
    Value_SetMember(object, name, s.value);
}

void SetNumberMember(GFxValue& object, const char* name, double x) {
    LocalValue n;
    Value_SetNumber(n.value, x);
    Value_SetMember(object, name, n.value);
}

void SetBoolMember(GFxValue& object, const char* name, bool b) {
    LocalValue n;
    Value_SetBool(n.value, b);
    Value_SetMember(object, name, n.value);
}

ResultRecord::ResultRecord(GFxMovieView* movie) : movie_(movie) { Value_CreateObject(movie, &object_.value); }

ResultRecord& ResultRecord::String(const char* name, const char* text) {
    SetStringMember(movie_, object_.value, name, text);
    return *this;
}

ResultRecord& ResultRecord::Number(const char* name, double x) {
    SetNumberMember(object_.value, name, x);
    return *this;
}

ResultRecord& ResultRecord::Bool(const char* name, bool b) {
    SetBoolMember(object_.value, name, b);
    return *this;
}

ResultRecord& ResultRecord::Value(const char* name, const GFxValue& v) {
    Value_SetMember(object_.value, name, v);
    return *this;
}

void ResultRecord::AppendTo(GFxValue& array) { Value_PushBack(array, object_.value); }

void LogInvalidArguments(const char* signature) {
    LogMessage("    ERROR: system: invalid arguments. Quorvix.%s.", signature);
}

bool MenuCall::Matches(std::initializer_list<uint32_t> types) const {
    if (args_->numArgs < types.size()) return false;
    uint32_t i = 0;
    for (uint32_t t : types) {
        if (Value_Type(args_->args[i]) != t) return false;
        ++i;
    }
    return true;
}

bool MenuCall::Check(std::initializer_list<uint32_t> types, const char* signature) const {
    if (Matches(types)) return true;
    LogInvalidArguments(signature);
    return false;
}

int32_t MenuCall::ArgInt(uint32_t i) const { return TruncToInt32(Value_GetNumber(Arg(i))); }
uint32_t MenuCall::ArgColour(uint32_t i) const { return ColourFromNumber(Value_GetNumber(Arg(i))); }

const char* MenuCall::ArgString(uint32_t i) const {
    const char* s = Value_GetString(Arg(i));
    return s ? s : "";
}

void MenuCall::ReturnNumber(double x) const {
    if (args_->result) Value_SetNumber(*args_->result, x);
}

void MenuCall::ReturnBool(bool b) const {
    if (args_->result) Value_SetBool(*args_->result, b);
}
