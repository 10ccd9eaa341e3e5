#include "system/clock.h"

#include "system/messages.h"
#include "system/platform.h"

float frameDeltaMs = 0.0f;

namespace {
struct ClockState {
    bool hasCounter = false;
    double ticksPerMs = 0.0;
    double last = 0.0;
};
ClockState clock_;
}  // namespace

bool clockStart() {
    clock_.hasCounter = false;
    clock_.ticksPerMs = 0.0;
    uint64_t frequency = 0;
    if (platformCounterFrequency(&frequency) && frequency > 0) {
        clock_.hasCounter = true;
        clock_.ticksPerMs = (double)frequency / 1000.0;
    }
    return clock_.hasCounter;
}

void clockTick() {
    double now = clock_.hasCounter ? (double)platformCounter() / clock_.ticksPerMs
                                   : (double)platformMilliseconds();
    frameDeltaMs = (float)(now - clock_.last);
    clock_.last = now;
}

void clockReset() {
    clockTick();
    frameDeltaMs = 0.0f;
}

void showBenchmark() {
    clockTick();
    showMessage("BenchMark ms=%f", (double)frameDeltaMs);
}

void sleepMs(int32_t milliseconds) { platformSleep(milliseconds); }

double clockSeconds() {
    uint64_t frequency = 0;
    if (platformCounterFrequency(&frequency) && frequency > 0) return (double)platformCounter() / (double)frequency;
    return (double)platformMilliseconds() / 1000.0;
}
