// Random numbers (a 15-bit generator, the same sequence on every platform) and local time.
#pragma once
#include <cstdint>

// Seeds the generator.
void seedRandom(uint32_t seed);
// Seeds with the current calendar time in seconds.
void seedRandomFromTime();
// The generator's next value, 0 .. 32767.
int32_t randomNext();
// a + r * (b - a + 1) / 32767 in integer arithmetic, limited to a .. b.
int32_t randomInt(int32_t a, int32_t b);
// a + r * (b - a) / 32767 in floating point, limited to a .. b.
float randomFloat(float a, float b);

struct LocalTime {
    int32_t year, month, day, hour, minute, second;  // month 1 - 12
};
// Fills the record with the local date and time of now.
void readLocalTime(LocalTime* out);
// First date-time minus the second, in seconds (each given as second, minute, hour, day, month, year).
int64_t secondsBetween(int32_t s1, int32_t mi1, int32_t h1, int32_t d1, int32_t mo1, int32_t y1,
                       int32_t s2, int32_t mi2, int32_t h2, int32_t d2, int32_t mo2, int32_t y2);
