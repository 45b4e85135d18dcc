// Helpers the subcommands share: log capture around library calls, aligned tables, the
// checked reading of a few argument kinds.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace vultrane {

using Json = nlohmann::ordered_json;

// Runs `fn` with the library's log observed and its copy on standard output held back, so that
// the program's own output stays clean. Returns the log lines written meanwhile.
std::vector<std::string> CaptureLog(const std::function<void()>& fn);
// Runs `fn` with standard output held back (a GameSession observes the log already).
void Quietly(const std::function<void()>& fn);

// Log lines that report an error or a warning.
std::vector<std::string> Problems(const std::vector<std::string>& lines);

// A text table whose columns are padded to their widest cell; `rightAligned` marks numeric columns.
std::string FormatTable(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows,
                        const std::vector<bool>& rightAligned = {});

// Shortest text that reads back as the same double ("0.5", "-3", "1e+300", "nan").
std::string Num(double x);
// For reading rather than reading back: at most 15 significant digits, so that the noise of
// binary fractions (-0.19999999999999996, 0.30000000000000004) does not show.
std::string Tidy(double x);
// `x` rounded to 15 significant digits, the nearest double to what Tidy prints.
double Rounded15(double x);
// A JSON number, or the text "nan"/"inf"/"-inf" for what JSON cannot hold.
Json NumJson(double x);

// "female"/"f"/"1" is 1, "male"/"m"/"0" is 0; anything else is a UsageError naming `option`.
int ParseSex(const std::string& text, const std::string& option);

// Writes `bytes` to `path`, replacing an old file only once the new one is complete.
// False with `error` set when that failed.
bool WriteFileReplacing(const std::string& path, const std::string& bytes, std::string& error);
// Creates the folder that will hold the output file `path` (and its parents), so every
// subcommand treats an output path alike. Throws when that fails, naming `option`.
void MakeOutputFolderFor(const std::string& path, const std::string& option);
// The whole file; false with `error` set when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error);

// A new, empty folder of the user's temporary folder, named `prefix` and a unique ending;
// throws std::runtime_error when none can be made.
std::string MakeTempFolder(const std::string& prefix);

// Prints JSON (indented) to standard output.
void PrintJson(const Json& json);

}  // namespace vultrane
