// vcvtool nserver: the server loop in the foreground, reached from outside and stopped by SIGINT.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>

#include "net_test_util.h"
#include "support/test_support.h"

TEST(NserverTool, ServesFromTheForegroundUntilInterrupted) {
    TempDir home;
    int port = 0;
    close(listenLocal(&port));
    std::string log = home.file("out.txt");
    ChildProcess server = startProcess(
        {"/bin/sh", "-c", "exec '" + builtProgram("tools/vcvtool") + "' nserver " + std::to_string(port) + " > '" + log + "'"},
        {"VCV_HOME=" + home.path()});
    auto output = [&] {
        std::vector<uint8_t> text = readBytes(log);
        return std::string(text.begin(), text.end());
    };
    // As a script would: connect once the server says it is ready.
    if (!stepUntil([] {}, [&] { return output().find("ready") != std::string::npos; }, 10000)) {
        kill(server.pid, SIGKILL);
        waitProcess(server, 1000);
        FAIL() << "no ready line: " << output();
    }
    int client = connectLocal(port);
    EXPECT_EQ(readSome(client, 2), (std::vector<uint8_t>{0x40, 0}));
    close(client);
    // Its messages go to standard output as they happen (the server tests check their texts). A
    // failure here still goes on to the interrupt, so that no server is left running.
    EXPECT_TRUE(stepUntil([] {}, [&] { return output().find("0 clients connected\n") != std::string::npos; }));
    kill(server.pid, SIGINT);
    EXPECT_EQ(waitProcess(server, 10000), 0);
    EXPECT_EQ(output().rfind("Vorten nServer start (windows).\nVorten nServer ready " + std::to_string(port) + ".\n", 0), 0u)
        << output();
    EXPECT_EQ(readBytes(home.path() + "data/nsconfig.stf").size(), 34u);
}
