// The demo run and its summary.
#pragma once

#include <string>

#include "tools/vultrane/cli_common.h"

namespace vultrane {

// Runs the demo below `outFolder` (created; refused when it holds files of someone else's or
// lies inside the bundled examples). Returns the full record.
Json RunDemo(const std::string& outFolder, int pictureSize);
// The short readable account of a record.
std::string DemoSummary(const Json& record);

}  // namespace vultrane
