// The library's log: one text file beside the game, a copy on standard output, the
// once-only progress flags and the pending error text.
#pragma once

#include <cstdarg>
#include <functional>
#include <string>
#include <string_view>

// Writes one message formatted like printf, followed by a line break, at the message level.
void LogMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The fatal level: the assertion lines of internal errors.
void LogFatal(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Messages are written as given. Text from outside data (race names, face-data fields, names
// and paths from configuration and .tri files) goes through LogEscape where it is formatted,
// so that it cannot forge lines: control characters other than tabs become "\n", "\r" or
// "\xNN".
std::string LogEscape(std::string_view text);
bool NeedsEscape(std::string_view text);

// A message longer than this is written in pieces of this size (nothing is cut).
constexpr size_t kLogFormatBufferChars = 8191;

// Once-only flags, armed by the plug-in's load.
struct LogOnceFlags {
    bool cacheCheckStart = false;
    bool cacheSuccess = false;
    bool replaceStart = false;
    bool replaceSuccess = false;
};
LogOnceFlags& LogOnce();
void Log_ArmOnceFlags();
// Logs `message` and clears the flag when it is set.
void Log_Once(bool& flag, const char* message);

// Pending error text collected by the in-memory morph replacement.
void PendingLog_Clear();
void PendingLog_Append(std::string_view text);
const std::string& PendingLog_Text();
// One message: the pending text (cut at 7500 characters) followed by `text`. Callers escape
// the outside parts they add to the pending text (LogEscape).
void PendingLog_FlushWith(const char* text);
constexpr size_t kPendingLogLimit = 7500;

// The file the log writes to, empty when none could be opened.
const std::string& Log_FilePath();

// Test support: reopen the log at another base path (fallback names as at start-up),
// and observe every message written.
void Log_Reopen(const std::string& basePath);
void Log_SetObserver(std::function<void(const std::string&)> observer);
// Tools that print their own report turn off the copy of each message on standard output.
void Log_SetConsoleCopy(bool on);
