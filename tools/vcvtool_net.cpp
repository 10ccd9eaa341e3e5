// vcvtool nserver [PORT]: the engine's server loop in the foreground, so the server can be exercised
// from outside. PORT (0 = any free port) is stored in nsconfig.stf first.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/net.h"
#include "net/server.h"
#include "net/settings.h"
#include "system/clock.h"
#include "system/files.h"
#include "system/process.h"
#include "tools/vcvtool.h"

int toolNetServer(int argc, char** argv) {
    if (argc > 1) {
        std::fprintf(stderr, "vcvtool: nserver: usage: vcvtool nserver [PORT]\n");
        return 2;
    }
    findProgramDirectory();
    if (argc == 1) {
        char* end = nullptr;
        long port = std::strtol(argv[0], &end, 10);
        if (argv[0][0] == '\0' || *end != '\0' || port < 0 || port > 65535) {
            std::fprintf(stderr, "vcvtool: nserver: bad port '%s'\n", argv[0]);
            return 2;
        }
        ServerConfig config{};
        if (serverConfigLoad(&config) != 0) std::memset(&config, 0, sizeof config);
        config.port = (uint16_t)port;
        if (serverConfigSave(&config) != 0) {
            std::fprintf(stderr, "vcvtool: nserver: cannot write %snsconfig.stf\n", dataDirectory);
            return 2;
        }
    }
    processCatchStopSignals();
    net_init();
    if (server_start() != 0) {
        net_shutdown();
        return 1;
    }
    while (!processStopRequested()) {
        server_update();
        sleepMs(1);
    }
    server_stop();
    net_shutdown();
    return 0;
}
