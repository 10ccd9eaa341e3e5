// Input tests: fake window and joysticks behind the input layer's hooks, a fresh save directory.
#pragma once
#include <gtest/gtest.h>

#include <cstring>

#include "input/bindings.h"
#include "input/input.h"
#include "strings/text.h"
#include "support/test_support.h"
#include "system/clock.h"
#include "system/files.h"

struct FakeDevices {
    int32_t width = 800, height = 600;
    int32_t present[JOYSTICK_COUNT] = {};
    int32_t axisCount[JOYSTICK_COUNT] = {};
    int32_t buttonCount[JOYSTICK_COUNT] = {};
    float axes[JOYSTICK_COUNT][64] = {};
    uint8_t buttons[JOYSTICK_COUNT][256] = {};
};
inline FakeDevices fake;

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake = FakeDevices{};
        inputInstallHooks(InputHooks{
            [](int32_t* w, int32_t* h) { *w = fake.width, *h = fake.height; },
            [](int32_t j) { return fake.present[j]; },
            [](int32_t j, int32_t* n) -> const float* { return *n = fake.axisCount[j], fake.present[j] ? fake.axes[j] : nullptr; },
            [](int32_t j, int32_t* n) -> const uint8_t* {
                return *n = fake.buttonCount[j], fake.present[j] ? fake.buttons[j] : nullptr;
            }});
        textCopy(saveDirectory, dir.path().c_str(), PATH_CAPACITY);
        frameDeltaMs = 0.0f;
        inputInit();
    }
    void TearDown() override { inputInstallHooks(InputHooks{}); }

    static void frame(float ms = 16.0f) {
        frameDeltaMs = ms;
        inputFrame();
    }
    static void type(const char* s) {
        for (; *s; s++) inputCharEvent((uint8_t)*s);
    }
    TempDir dir;
};
