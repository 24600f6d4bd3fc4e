// Test support: each test works in a fresh temporary folder that is its
// current directory, removed again afterwards, with every package it left
// open closed.
#pragma once

#include <gtest/gtest.h>

#include <string>

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string dir;        // the folder, absolute, with '/' separators
    void closeAllPackages();
private:
    std::string previous;
};
