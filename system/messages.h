// Telling a human something: standard output, a message line on standard error (which stands in for
// a message box and never blocks), and log files in logDirectory.
#pragma once
#include <cstdint>

// printf-style text to standard output (safe from any thread).
void printMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Formats into 1024 characters and writes "VORTEN: <text>" as one line to standard error. The same
// text repeated within one second is written once.
void showMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Truncates logDirectory + name to 0 bytes when it exists.
void clearLogFile(const char* name);
// Writes the formatted text and CR LF to logDirectory + name, replacing the file (append 0) or
// appending (otherwise); creates logDirectory when needed. Nothing happens when it cannot be opened.
void writeLogLine(const char* name, int32_t append, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
