#include "system/random.h"

#include "system/platform.h"

namespace {
struct RandomState {
    uint32_t seed = 1;
};
RandomState random_;
}  // namespace

void seedRandom(uint32_t seed) { random_.seed = seed; }

void seedRandomFromTime() { seedRandom((uint32_t)platformNowSeconds()); }

int32_t randomNext() {
    // The classic 15-bit linear congruential generator of the C runtime the file formats come from.
    random_.seed = random_.seed * 214013u + 2531011u;
    return (int32_t)((random_.seed >> 16) & 0x7FFF);
}

int32_t randomInt(int32_t a, int32_t b) {
    int64_t r = randomNext();
    int64_t v = (int64_t)a + r * ((int64_t)b - a + 1) / 32767;
    if (v > b) v = b;
    if (v < a) v = a;
    return (int32_t)v;
}

float randomFloat(float a, float b) {
    float v = a + (float)randomNext() * (b - a) / 32767.0f;
    if (v > b) v = b;
    if (v < a) v = a;
    return v;
}

void readLocalTime(LocalTime* out) {
    int32_t t[6];
    platformLocalTime(t);
    out->year = t[0];
    out->month = t[1];
    out->day = t[2];
    out->hour = t[3];
    out->minute = t[4];
    out->second = t[5];
}

int64_t secondsBetween(int32_t s1, int32_t mi1, int32_t h1, int32_t d1, int32_t mo1, int32_t y1,
                       int32_t s2, int32_t mi2, int32_t h2, int32_t d2, int32_t mo2, int32_t y2) {
    return platformCalendarTime(s1, mi1, h1, d1, mo1, y1) - platformCalendarTime(s2, mi2, h2, d2, mo2, y2);
}
