#include "system/process.h"

#include "system/platform.h"

ProcessOutcome processRun(const char* program, const char* const* argv, int32_t timeoutMs) {
    ProcessOutcome outcome = {PROCESS_NOT_STARTED, 0};
    int32_t pid = -1;
    int32_t error = platformSpawn(program, argv, &pid);
    if (error != 0) {
        outcome.code = error;
        return outcome;
    }
    int32_t code = 0;
    int32_t ended = platformWaitChild(pid, timeoutMs, &code);
    outcome.code = code;
    outcome.status = ended == 0 ? PROCESS_EXITED : ended == 1 ? PROCESS_SIGNALLED : PROCESS_TIMED_OUT;
    return outcome;
}

int32_t processProgramPath(char* out, int32_t cap) { return platformProgramPath(out, cap); }

void processLimitResources(int32_t cpuSeconds, int64_t addressSpaceBytes) {
    platformLimitProcess(cpuSeconds, addressSpaceBytes);
}

void processCatchStopSignals() { platformCatchStopSignals(); }

bool processStopRequested() { return platformStopSignalled(); }
