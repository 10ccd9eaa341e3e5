// Child processes: a program run with its arguments and its output discarded, waited for with a
// wall-clock limit; and the limits a process puts on itself before it handles untrusted input.
#pragma once
#include <cstdint>

enum : int32_t { PROCESS_EXITED = 0, PROCESS_SIGNALLED = 1, PROCESS_TIMED_OUT = 2, PROCESS_NOT_STARTED = 3 };

// How a run ended.
struct ProcessOutcome {
    int32_t status;  // PROCESS_*
    int32_t code;    // exit status, signal number, or the system's error number when not started
};

// Runs program (a path; argv null-terminated, argv[0] passed as given) with standard input, output
// and error on the null device and none of the caller's other descriptors, waits at most timeoutMs
// and kills it then. Never forks without exec, so it is safe in a process with threads.
ProcessOutcome processRun(const char* program, const char* const* argv, int32_t timeoutMs);
// Full path of the running program file into out (cap bytes). 0, or -1 when unknown.
int32_t processProgramPath(char* out, int32_t cap);
// Limits this process: CPU seconds and address-space bytes (0 leaves a limit as it is); no core files.
void processLimitResources(int32_t cpuSeconds, int64_t addressSpaceBytes);
// Lets SIGINT and SIGTERM ask a foreground loop to stop instead of ending the process, and reports
// whether one of them arrived.
void processCatchStopSignals();
bool processStopRequested();
