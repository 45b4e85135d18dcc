// A plug-in that crashes takes the host simulator with it; this says where it happened and
// what the plug-in had logged, then lets the signal take its course (core dump, sanitizer
// report).
#pragma once

#include <string>

namespace hostsim {

void InstallCrashReport();
// What the program is doing now, named in the report ("call 3 (GetTintsList)").
void SetActivity(const std::string& what);

}  // namespace hostsim
