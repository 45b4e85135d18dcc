// Progress of long work, shown on a terminal only (standard error), so piped output stays clean.
#pragma once

#include <cstddef>
#include <string>

namespace vultrane {

class Progress {
public:
    Progress(std::string label, size_t total);
    ~Progress();
    void Step(size_t done);  // redraws at most a few times a second
    void Done();

private:
    std::string label_;
    size_t total_;
    bool terminal_;
    bool shown_ = false;
    long long lastDrawMs_ = -1000;
};

}  // namespace vultrane
