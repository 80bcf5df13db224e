// The desktop client computes its paths once per process, from the
// environment. Including this header gives the test program a temporary
// home of its own before any test runs: the shared data folder
// (GT_COMMON_APPDATA) and the per-user settings folder (XDG_CONFIG_HOME)
// point into a fresh temporary folder, removed when the program ends. Tests
// that leave files there remove them themselves.
#pragma once

#include <stdlib.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace gt {
namespace test {

class ClientHome : public ::testing::Environment {
public:
    ClientHome() : m_dir(new TempDir) {
        ::setenv("GT_COMMON_APPDATA", m_dir->path("appdata").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", m_dir->path("config").c_str(), 1);
    }
    void TearDown() override { m_dir.reset(); }

private:
    std::unique_ptr<TempDir> m_dir;
};

// Registered once for the whole program, while it starts.
inline ::testing::Environment* const s_clientHome = ::testing::AddGlobalTestEnvironment(new ClientHome);

}  // namespace test
}  // namespace gt
