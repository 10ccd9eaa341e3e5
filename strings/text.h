// Small text operations on single-byte, NUL-terminated texts, and the shared scratch buffer.
#pragma once
#include <cstdint>

enum { SCRATCH_CAPACITY = 8192 };
// The 8192-byte scratch text, overwritten by every formatScratch (null before stringsInit).
extern char* scratchText;

// printf-style formatting into scratchText (truncated to fit); returns the length written.
int32_t formatScratch(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Length of a text.
int32_t textLength(const char* text);
// Copies src into out of outSize bytes, truncating; returns the length copied.
int32_t textCopy(char* out, const char* src, int32_t outSize);
// Copies src only when it fits whole (terminator included); false with out untouched otherwise.
bool textCopyWhole(char* out, const char* src, int32_t outSize);
// Length of a text, looking at no more than limit characters (limit when none of them ends it).
int32_t textLengthWithin(const char* text, int32_t limit);
// Case-insensitive (ASCII) comparison: < 0, 0, > 0.
int32_t textCompareNoCase(const char* a, const char* b);

// Moves the characters from position up to size - 2 one place right (the one at size - 1 is lost),
// opening position for an insertion. text holds at least size bytes.
void openGap(char* text, int32_t position, int32_t size);
// Writes a terminator at size, then moves the characters after position one place left. text holds
// at least size + 1 bytes.
void closeGap(char* text, int32_t position, int32_t size);
// 0 when both texts have at least n characters from their offsets and these are equal; else 1.
int32_t sameRun(const char* a, int32_t offsetA, const char* b, int32_t offsetB, int32_t n);
// Index of the first c at or after position, or of the terminator.
int32_t findChar(const char* text, int32_t position, char c);
// Every c becomes d.
void replaceChar(char* text, char c, char d);
// Skips separators from position, copies the following run (truncated to outSize - 1 characters)
// into out; returns the index where the run ended, or -1 (out untouched) when only separators remain.
int32_t nextToken(char* out, int32_t outSize, const char* text, int32_t position, char separator);
// Number of runs between separators.
int32_t countTokens(const char* text, char separator);
// Fixed-point text with `decimals` places and no leading zero: 3.14159, 2 -> "3.14"; 12 -> "12.00";
// 0.05 -> ".05"; exactly 0 -> "0". out holds at least 64 bytes (longer results are cut there).
void formatFloat(float value, char* out, int32_t decimals);
// Decimal text to float (0 when no number starts the text).
float parseFloat(const char* text);
// '0' + (number / 10^exponent) mod 10.
char decimalDigit(int32_t number, int32_t exponent);
// Position just after the next CR LF at or after position, or length. A lone LF does not end a line.
int32_t nextLine(const char* text, int32_t length, int32_t position);
// Two characters from "0123456789ABCDEF", high nibble first (no terminator written).
void byteToHex(char* out, uint8_t byte);
// The byte of two hex characters (upper-case letters only; other characters count as 0).
uint8_t hexToByte(const char* two);
// Writes the text and its terminator as a whole file. 0 or -1.
int32_t saveText(const char* text, const char* name, const char* dir);
// Copies a whole file into buffer of capacity bytes. 0, or -1 when the file cannot be read or does
// not fit (buffer untouched).
int32_t readFileInto(void* buffer, int32_t capacity, const char* name, const char* dir);
// Replaces pattern letters by digits in place: H hours, M minutes, S seconds (tens then units),
// m milliseconds (hundreds, tens, units); letters beyond those digits repeat the last digit place.
void formatTime(char* pattern, int32_t hours, int32_t minutes, int32_t seconds, int32_t milliseconds);
