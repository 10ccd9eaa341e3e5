// The running viewer in the test's own process: started as the program starts it (data directories
// in a temporary home, default options, a real window) and stopped as a quit stops it.
#pragma once
#include <gtest/gtest.h>

#include "support/gl_window.h"
#include "support/test_support.h"
#include "system/files.h"
#include "viewer/app.h"
#include "viewer/window.h"

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        createDataDirectories(home.path().c_str());
        installViewerData(home.path());
        AppOptions options;
        optionsDefault(&options);
        appInit(&options);
        ASSERT_TRUE(windowIsOpen());
        keepLoadedLibraries();
    }
    void TearDown() override {
        if (appState != appStopped) {
            requestQuit();
            appFrame();
        }
    }
    TempDir home;
};
