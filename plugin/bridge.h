// The menu value bridge: reading arguments, writing return values and appending result
// records through the game's Scaleform runtime.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "game/engine.h"

// ----- Reading -----------------------------------------------------------------------------------
uint32_t Value_Type(const GFxValue& v);
// Number, or a Boolean as 1.0 / 0.0; any other type is an internal error.
double Value_GetNumber(const GFxValue& v);
// Boolean, or a Number as "not equal to 0" (NaN is true); any other type is an internal error.
bool Value_GetBool(const GFxValue& v);
// The text of a String (through the cell when managed); null for other types.
const char* Value_GetString(const GFxValue& v);

// ----- Writing -----------------------------------------------------------------------------------
void Value_Release(GFxValue& v);
void Value_SetNumber(GFxValue& v, double x);
void Value_SetBool(GFxValue& v, bool b);
bool Value_SetMember(GFxValue& object, const char* name, const GFxValue& value);
bool Value_PushBack(GFxValue& array, const GFxValue& value);
uint32_t Value_GetArraySize(const GFxValue& array);
// `out` must be released by the caller.
bool Value_GetElement(const GFxValue& array, uint32_t index, GFxValue* out);

// A local value released when it leaves scope.
class LocalValue {
public:
    LocalValue() = default;
    ~LocalValue() { Value_Release(value); }
    LocalValue(const LocalValue&) = delete;
    LocalValue& operator=(const LocalValue&) = delete;
    GFxValue value{};
};

// ----- Creating through the calling movie ------------------------------------------------------
void Value_CreateObject(GFxMovieView* movie, GFxValue* out);
void Value_CreateString(GFxMovieView* movie, GFxValue* out, const char* text);
void Value_CreateArray(GFxMovieView* movie, GFxValue* out);

void SetStringMember(GFxMovieView* movie, GFxValue& object, const char* name, const char* text);
void SetNumberMember(GFxValue& object, const char* name, double x);
void SetBoolMember(GFxValue& object, const char* name, bool b);

// One result record: created, members set in the order of the calls, then pushed back.
class ResultRecord {
public:
    explicit ResultRecord(GFxMovieView* movie);
    ResultRecord& String(const char* name, const char* text);
    ResultRecord& String(const char* name, const std::string& text) { return String(name, text.c_str()); }
    ResultRecord& Number(const char* name, double x);
    ResultRecord& Bool(const char* name, bool b);
    // Sets a member to an existing value (an Array built by the caller).
    ResultRecord& Value(const char* name, const GFxValue& v);
    void AppendTo(GFxValue& array);

private:
    GFxMovieView* movie_;
    LocalValue object_;
};

// ----- Menu calls ---------------------------------------------------------------------------------

// One call of a menu function as the movie hands it to Invoke.
class MenuCall {
public:
    explicit MenuCall(GFxFunctionHandler_Args* args) : args_(args) {}

    uint32_t Count() const { return args_->numArgs; }
    GFxValue& Arg(uint32_t i) const { return args_->args[i]; }
    GFxMovieView* Movie() const { return args_->movie; }
    GFxValue* Result() const { return args_->result; }

    // True when there are at least as many arguments as types and each has exactly its
    // type. Otherwise logs the invalid-arguments message for `signature`, such as
    // "GetNthName(index:Number, result:Array)", and returns false.
    bool Check(std::initializer_list<uint32_t> types, const char* signature) const;
    // The same test without a message.
    bool Matches(std::initializer_list<uint32_t> types) const;

    // Integer and colour readings of a Number argument.
    int32_t ArgInt(uint32_t i) const;
    uint32_t ArgColour(uint32_t i) const;
    double ArgNumber(uint32_t i) const { return Value_GetNumber(Arg(i)); }
    const char* ArgString(uint32_t i) const;

    void ReturnNumber(double x) const;
    void ReturnBool(bool b) const;

private:
    GFxFunctionHandler_Args* args_;
};

void LogInvalidArguments(const char* signature);
