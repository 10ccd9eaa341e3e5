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
    int client = -1;
    ASSERT_TRUE(stepUntil([&] { client = connectLocal(port); }, [&] { return client != -1; }, 10000));
    EXPECT_EQ(readSome(client, 2), (std::vector<uint8_t>{0x40, 0}));
    close(client);
    ASSERT_TRUE(stepUntil([] {}, [&] {
        std::vector<uint8_t> text = readBytes(log);
        return std::string(text.begin(), text.end()).find("0 clients connected\n") != std::string::npos;
    }));
    kill(server.pid, SIGINT);
    EXPECT_EQ(waitProcess(server, 10000), 0);
    std::vector<uint8_t> text = readBytes(log);
    std::string out(text.begin(), text.end());
    EXPECT_EQ(out.rfind("Vorten nServer start (windows).\nVorten nServer ready " + std::to_string(port) + ".\nClient on socket=", 0), 0u) << out;
    EXPECT_NE(out.find(" connected with ID=0\n1 clients connected\n"), std::string::npos) << out;
    EXPECT_NE(out.find(" with ID=0 disconnected\n0 clients connected\n"), std::string::npos) << out;
    EXPECT_EQ(readBytes(home.path() + "data/nsconfig.stf").size(), 34u);
}
