// Shared set-up of the input tests: a window and joysticks answered through the input layer's hooks,
// a fresh save directory, and helpers that play the window glue's part.
#pragma once
#include <gtest/gtest.h>

#include <cstring>

#include "input/bindings.h"
#include "input/input.h"
#include "strings/text.h"
#include "support/test_support.h"
#include "system/clock.h"
#include "system/files.h"

// What the hooks report; tests change it freely.
struct FakeDevices {
    int32_t width = 800, height = 600;
    int32_t present[JOYSTICK_COUNT] = {};
    int32_t axisCount[JOYSTICK_COUNT] = {};
    int32_t buttonCount[JOYSTICK_COUNT] = {};
    float axes[JOYSTICK_COUNT][64] = {};
    uint8_t buttons[JOYSTICK_COUNT][256] = {};
};
inline FakeDevices fake;

inline void fakeWindowSize(int32_t* w, int32_t* h) {
    *w = fake.width;
    *h = fake.height;
}
inline int32_t fakePresent(int32_t j) { return fake.present[j]; }
inline const float* fakeAxes(int32_t j, int32_t* count) {
    *count = fake.axisCount[j];
    return fake.present[j] ? fake.axes[j] : nullptr;
}
inline const uint8_t* fakeButtons(int32_t j, int32_t* count) {
    *count = fake.buttonCount[j];
    return fake.present[j] ? fake.buttons[j] : nullptr;
}

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake = FakeDevices{};
        inputInstallHooks(InputHooks{fakeWindowSize, fakePresent, fakeAxes, fakeButtons});
        textCopy(saveDirectory, dir.path().c_str(), PATH_CAPACITY);
        frameDeltaMs = 0.0f;
        inputInit();
    }
    void TearDown() override { inputInstallHooks(InputHooks{}); }

    // One frame prologue after ms milliseconds.
    static void frame(float ms = 16.0f) {
        frameDeltaMs = ms;
        inputFrame();
    }
    static void type(const char* s) {
        for (; *s; s++) inputCharEvent((uint8_t)*s);
    }
    static void tap(int32_t key) {
        inputKeyEvent(key, 1);
        inputKeyEvent(key, 0);
    }
    TempDir dir;
};
