// The frame clock. frameDeltaMs is the time between the last two ticks; everything that moves
// scales by it.
#pragma once
#include <cstdint>

extern float frameDeltaMs;

// Chooses the high-resolution counter (true) or the millisecond timer (false when no counter).
bool clockStart();
// frameDeltaMs = now - last; last = now.
void clockTick();
// clockTick, then frameDeltaMs = 0.
void clockReset();
// clockTick, then shows "BenchMark ms=%f" with frameDeltaMs: the time since clockReset.
void showBenchmark();
// Sleeps the given milliseconds.
void sleepMs(int32_t milliseconds);
// Seconds since an arbitrary start, from the high-resolution counter (for pacing; not frame time).
double clockSeconds();
