// One Xvfb for all the tests of a suite, and a scratch folder and the pointer off the centre for each test.
#pragma once

#include "life_process.h"
#include "x_server.h"

#include <gtest/gtest.h>

// `suite` is the fixture deriving from this, so that every suite has a server of its own.
template <class suite> struct xvfb_suite : ::testing::Test {
    static inline x_server *server = nullptr;
    static void SetUpTestSuite() { server = new x_server; }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(server && server->ok()) << "Xvfb did not start";
        ASSERT_TRUE(file_exists(life_bin())) << life_bin();
        ASSERT_FALSE(dir.path.empty());
        // The pointer rests off the centre, where opening the screen moves it from: that move is the
        // program's own and must not end it.
        ASSERT_EQ(run_tool({"xdotool", "mousemove", "130", "470"}), 0);
    }
    scratch_folder dir;
};
