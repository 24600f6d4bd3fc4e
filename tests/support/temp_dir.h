// Test support: each test works in a fresh temporary folder that is its
// current directory, removed again afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string dir;        // the folder, absolute, with '/' separators
private:
    std::string previous;
};
