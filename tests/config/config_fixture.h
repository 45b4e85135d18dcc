// Shared fixture of the configuration tests: a fresh configuration, a temporary game folder
// and the log lines written meanwhile.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "config/loader.h"
#include "config/model.h"
#include "tests/support/test_support.h"

namespace vtrconfigtest {

class ConfigFixture : public ::testing::Test {
protected:
    ConfigFixture() { Config() = Configuration{}; }
    ~ConfigFixture() override { Config() = Configuration{}; }

    // Writes a file below the configuration directory.
    void WriteConfig(const std::string& name, const std::string& content) const {
        folder.WriteFile(std::string("data\\Meshes\\Vultrane\\") + name, content);
    }
    // Writes `content` as test.ini and parses it as a race-set file.
    RaceSetting ParseText(const std::string& content) {
        WriteConfig("test.ini", content);
        return ParseRaceSetFile(kConfigDirectory, "test.ini");
    }
    // Every log line that reports an error.
    std::vector<std::string> Errors() const {
        std::vector<std::string> out;
        for (const std::string& l : log.Lines())
            if (l.find("ERROR") != std::string::npos) out.push_back(l);
        return out;
    }

    vtrtest::ScopedGameFolder folder;
    vtrtest::LogCapture log;
};

}  // namespace vtrconfigtest
