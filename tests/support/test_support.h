// Shared test helpers: log capture, a temporary game folder, and a menu harness that calls
// the 26 functions through the registered handler objects as the movie does.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/model.h"
#include "game/engine.h"
#include "game/sim/sim.h"

namespace vtrtest {

// A two-way morph slider of both sexes: `high` for values from 0 up, `low` below 0.
inline SliderDef MorphPairSlider(int32_t id, const std::string& high, const std::string& low) {
    SliderDef s;
    s.uniqueID = id;
    s.type = kSliderMorphPair;
    s.target = high;
    s.lowTarget = low;
    s.sexMask = 3;
    return s;
}

// Collects every log message written while it lives.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    const std::vector<std::string>& Lines() const { return lines_; }
    bool Contains(const std::string& message) const;
    size_t Count(const std::string& message) const;
    void Clear() { lines_.clear(); }

private:
    std::vector<std::string> lines_;
};

// A fresh temporary folder made the current folder (the game's folder) while it lives.
class ScopedGameFolder {
public:
    ScopedGameFolder();
    ~ScopedGameFolder();
    const std::string& Path() const { return path_; }
    // Writes a file at a path relative to the game folder (backslashes or slashes; folders
    // are created as written, in the letter case given).
    void WriteFile(const std::string& relativePath, const std::string& content) const;
    std::string ReadFile(const std::string& relativePath) const;

private:
    std::string path_;
    std::string previous_;
};

// A movie with the 26 functions installed into a root object.
class MenuHarness {
public:
    MenuHarness();
    ~MenuHarness();
    GFxMovieView* Movie() const { return movie_; }
    GFxValue& Root() { return root_; }

    // Calls a function by name with the given arguments; returns the return value (owned by
    // the harness, valid until the next call). Arguments are released after the call
    // unless kept (arrays the test inspects should come from NewArray, which the harness owns).
    const GFxValue& Call(const char* name, std::vector<GFxValue> args);

    // Values owned by the harness, released when it is destroyed.
    GFxValue& NewArray();
    GFxValue String(const char* text);  // released after the call it is passed to
    static GFxValue Number(double x) { return sim::MakeNumber(x); }
    static GFxValue Bool(bool b) { return sim::MakeBool(b); }

private:
    GFxMovieView* movie_;
    GFxValue root_{};
    GFxValue result_{};
    std::vector<GFxValue*> owned_;
};

// Reading result records.
std::vector<const GFxValue*> Elements(const GFxValue& array);
std::vector<std::string> MemberNames(const GFxValue& object);
const GFxValue* Member(const GFxValue& object, const char* name);  // null when missing
double Num(const GFxValue& object, const char* name);              // NaN when missing
std::string Str(const GFxValue& object, const char* name);         // "<missing>" when missing
bool Bool(const GFxValue& object, const char* name);

}  // namespace vtrtest
