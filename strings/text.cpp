#include "strings/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "system/files.h"
#include "system/memory.h"

char* scratchText = nullptr;

int32_t formatScratch(const char* format, ...) {
    if (!scratchText) return 0;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(scratchText, SCRATCH_CAPACITY, format, args);
    va_end(args);
    if (n < 0) {
        scratchText[0] = '\0';
        return 0;
    }
    return n >= SCRATCH_CAPACITY ? SCRATCH_CAPACITY - 1 : n;
}

int32_t textLength(const char* text) { return (int32_t)std::strlen(text); }

int32_t textLengthWithin(const char* text, int32_t limit) {
    int32_t n = 0;
    while (n < limit && text[n] != '\0') n++;
    return n;
}

bool textCopyWhole(char* out, const char* src, int32_t outSize) {
    int32_t n = textLengthWithin(src, outSize);
    if (n >= outSize) return false;
    std::memcpy(out, src, (size_t)n + 1);
    return true;
}

int32_t textCopy(char* out, const char* src, int32_t outSize) {
    if (outSize <= 0) return 0;
    int32_t n = 0;
    while (src[n] && n < outSize - 1) {
        out[n] = src[n];
        n++;
    }
    out[n] = '\0';
    return n;
}

static int lowerAscii(int c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

int32_t textCompareNoCase(const char* a, const char* b) {
    for (;; a++, b++) {
        int ca = lowerAscii((unsigned char)*a), cb = lowerAscii((unsigned char)*b);
        if (ca != cb || ca == 0) return ca - cb;
    }
}

void openGap(char* text, int32_t position, int32_t size) {
    // Reading stops at `position`, never before it, so a gap at 0 stays inside the text.
    for (int32_t i = size - 1; i > position; i--) text[i] = text[i - 1];
}

void closeGap(char* text, int32_t position, int32_t size) {
    text[size] = '\0';
    for (int32_t i = position; i < size; i++) text[i] = text[i + 1];
}

int32_t sameRun(const char* a, int32_t offsetA, const char* b, int32_t offsetB, int32_t n) {
    if (textLength(a) - offsetA < n || textLength(b) - offsetB < n) return 1;
    return std::memcmp(a + offsetA, b + offsetB, (size_t)n) == 0 ? 0 : 1;
}

int32_t findChar(const char* text, int32_t position, char c) {
    int32_t i = position;
    while (text[i] && text[i] != c) i++;
    return i;
}

void replaceChar(char* text, char c, char d) {
    for (; *text; text++)
        if (*text == c) *text = d;
}

int32_t nextToken(char* out, int32_t outSize, const char* text, int32_t position, char separator) {
    int32_t i = position;
    while (text[i] == separator && text[i]) i++;
    if (!text[i]) return -1;
    int32_t o = 0;
    while (text[i] && text[i] != separator) {
        if (o < outSize - 1) out[o++] = text[i];
        i++;
    }
    if (outSize > 0) out[o] = '\0';
    return i;
}

int32_t countTokens(const char* text, char separator) {
    int32_t n = 0;
    bool inRun = false;
    for (; *text; text++) {
        bool sep = *text == separator;
        if (!sep && !inRun) n++;
        inRun = !sep;
    }
    return n;
}

void formatFloat(float value, char* out, int32_t decimals) {
    if (value == 0.0f) {
        std::strcpy(out, "0");
        return;
    }
    if (decimals < 0) decimals = 0;
    if (decimals > 40) decimals = 40;
    char digits[96];
    std::snprintf(digits, sizeof digits, "%.*f", (int)decimals, (double)value);
    // No leading zero before the point: 0.05 is written ".05".
    const char* src = digits;
    char* o = out;
    if (*src == '-') *o++ = *src++;
    if (src[0] == '0' && src[1] == '.') src++;
    size_t room = 63 - (size_t)(o - out);
    size_t len = std::strlen(src);
    if (len > room) len = room;
    std::memcpy(o, src, len);
    o[len] = '\0';
}

float parseFloat(const char* text) { return std::strtof(text, nullptr); }

char decimalDigit(int32_t number, int32_t exponent) {
    int64_t n = number < 0 ? -(int64_t)number : number;
    for (int32_t i = 0; i < exponent; i++) n /= 10;
    return (char)('0' + n % 10);
}

int32_t nextLine(const char* text, int32_t length, int32_t position) {
    int32_t p = position;
    while (p < length) {
        if (text[p] == '\r' && p + 1 < length) {
            if (text[p + 1] == '\n') return p + 2;
            p += 2;
        } else {
            p += 1;
        }
    }
    return p;
}

void byteToHex(char* out, uint8_t byte) {
    static const char digits[] = "0123456789ABCDEF";
    out[0] = digits[byte >> 4];
    out[1] = digits[byte & 15];
}

static uint8_t hexNibble(char c) {
    if (c >= '0' && c <= '9') return (uint8_t)(c - '0');
    if (c >= 'A' && c <= 'F') return (uint8_t)(c - 'A' + 10);
    return 0;
}

uint8_t hexToByte(const char* two) { return (uint8_t)((hexNibble(two[0]) << 4) | hexNibble(two[1])); }

int32_t saveText(const char* text, const char* name, const char* dir) {
    return writeWholeFile(name, dir, text, textLength(text) + 1);
}

int32_t readFileInto(void* buffer, int32_t capacity, const char* name, const char* dir) {
    uint8_t* data = nullptr;
    int32_t size = 0;
    if (readWholeFile(name, dir, &data, &size) != 0) return -1;
    int32_t result = -1;
    if (size <= capacity) {
        std::memcpy(buffer, data, (size_t)size);
        result = 0;
    }
    memFree(data, "vorstring_1_11", __LINE__);
    return result;
}

void formatTime(char* pattern, int32_t hours, int32_t minutes, int32_t seconds, int32_t milliseconds) {
    int32_t seenH = 0, seenM = 0, seenS = 0, seenMs = 0;
    for (char* p = pattern; *p; p++) {
        switch (*p) {
            case 'H': *p = decimalDigit(hours, seenH++ == 0 ? 1 : 0); break;
            case 'M': *p = decimalDigit(minutes, seenM++ == 0 ? 1 : 0); break;
            case 'S': *p = decimalDigit(seconds, seenS++ == 0 ? 1 : 0); break;
            case 'm': {
                int32_t place = 2 - seenMs++;
                *p = decimalDigit(milliseconds, place < 0 ? 0 : place);
                break;
            }
            default: break;
        }
    }
}
