// The nServer on 127.0.0.1: a full house of 256 clients, the framing of what they send, stopping and
// restarting, and hostile peers.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "net/net.h"
#include "net/server.h"
#include "net/settings.h"
#include "net_test_util.h"
#include "support/test_support.h"
#include "system/files.h"

namespace {
struct ServerFixture : testing::Test {
    TempDir home;
    void SetUp() override {
        createDataDirectories(home.path().c_str());
        writeConfig(0);
        net_init();
        testing::internal::CaptureStdout();
    }
    void TearDown() override {
        net_shutdown();
        output += testing::internal::GetCapturedStdout();
    }
    static void writeConfig(uint16_t port) {
        ServerConfig config{};
        std::strcpy(config.text, "test server");
        config.port = port;
        ASSERT_EQ(serverConfigSave(&config), 0);
    }
    std::string output;
};

std::vector<uint8_t> messageOf(int32_t id) {
    uint8_t area[256];
    int32_t length = server_message(id, area);
    return std::vector<uint8_t>(area, area + (length > 0 ? length : 0));
}

// Connects without waiting for the handshake and closes at once, every other time with a reset.
void stormConnection(int port, bool reset) {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons((uint16_t)port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(s, (sockaddr*)&a, sizeof a);
    if (reset) {
        linger abort = {1, 0};
        setsockopt(s, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }
    close(s);
}
}  // namespace

TEST_F(ServerFixture, AFullHouseIsWelcomedTheNextIsRefusedAndAFreedSlotIsReused) {
    ASSERT_EQ(server_start(), 0);
    int port = server_port();
    std::vector<int> clients;
    for (int i = 0; i < SERVER_MAX_CLIENTS; i++) clients.push_back(connectLocal(port));
    ASSERT_TRUE(stepUntil([] {}, [] { return server_client_count() == SERVER_MAX_CLIENTS; }));
    server_update();
    for (int i = 0; i < SERVER_MAX_CLIENTS; i++)
        ASSERT_EQ(readSome(clients[i], 2), (std::vector<uint8_t>{0x40, (uint8_t)i})) << "client " << i;

    // The 257th is told nothing and closed; the server goes on with the 256.
    int extra = connectLocal(port);
    EXPECT_TRUE(readSome(extra, 1).empty());
    close(extra);
    EXPECT_EQ(server_client_count(), SERVER_MAX_CLIENTS);
    sendBytes(clients[200], {0x85, 1, 2, 3, 4, 5});
    EXPECT_TRUE(stepUntil(server_update, [] { return messageOf(200).size() == 6; }));

    // Half a message does not hold the step; the message in the slot stays the last whole one.
    sendBytes(clients[200], {0x85, 9, 9});
    for (int i = 0; i < 20; i++) server_update();
    EXPECT_EQ(messageOf(200), (std::vector<uint8_t>{0x85, 1, 2, 3, 4, 5}));

    close(clients[17]);
    ASSERT_TRUE(stepUntil(server_update, [] { return server_client_count() == SERVER_MAX_CLIENTS - 1; }));
    clients[17] = connectLocal(port);
    ASSERT_TRUE(stepUntil(server_update, [&] { return server_client_count() == SERVER_MAX_CLIENTS; }));
    server_update();
    EXPECT_EQ(readSome(clients[17], 2), (std::vector<uint8_t>{0x40, 17}));
    for (int s : clients) close(s);
    EXPECT_EQ(server_stop(), 0);

    output = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    EXPECT_EQ(output.rfind("Vorten nServer start (windows).\nVorten nServer ready " + std::to_string(port) + ".\n", 0), 0u);
    EXPECT_NE(output.find("ERROR : CONNECT->VORNSERVERFINDCLIENT\n"), std::string::npos);
    EXPECT_NE(output.find("with ID=17 disconnected\n255 clients connected\n"), std::string::npos);
    EXPECT_NE(output.find("connected with ID=255\n256 clients connected\n"), std::string::npos);
    EXPECT_EQ(output.find("VORACCEPTINGTHREAD"), std::string::npos);  // a normal stop is silent
}

TEST_F(ServerFixture, StopIsPromptRestartsOnTheSamePortAndLeaksNoDescriptor) {
    EXPECT_EQ(server_stop(), -1);
    ASSERT_EQ(server_start(), 0);
    EXPECT_EQ(server_start(), -1);  // already running
    uint16_t port = (uint16_t)server_port();
    ASSERT_EQ(server_stop(), 0);
    writeConfig(port);
    int before = openDescriptors();
    for (int cycle = 0; cycle < 20; cycle++) {
        ASSERT_EQ(server_start(), 0) << "cycle " << cycle;
        ASSERT_EQ(server_port(), port);
        int client = connectLocal(port);
        ASSERT_TRUE(stepUntil(server_update, [] { return server_client_count() == 1; }));
        server_update();
        EXPECT_EQ(readSome(client, 2).size(), 2u);
        // The client stays connected over the stop: the server closes its end, and the accept
        // thread ends rather than staying blocked.
        ASSERT_EQ(server_stop(), 0);
        EXPECT_TRUE(readSome(client, 1).empty());
        close(client);
    }
    EXPECT_EQ(openDescriptors(), before);

    // The engine's shut-down stops a server that still runs.
    ASSERT_EQ(server_start(), 0);
    net_shutdown();
    EXPECT_FALSE(server_running());
}

TEST_F(ServerFixture, AConfigurationThatCannotServeIsReported) {
    writeBytes(home.path() + "data/nsconfig.stf", std::vector<uint8_t>(33, 0));
    EXPECT_EQ(server_start(), -1);
    deleteFile("nsconfig.stf", dataDirectory);
    EXPECT_EQ(server_start(), -1);
    // A port that another program listens on.
    int busy = 0;
    int holder = listenLocal(&busy);
    writeConfig((uint16_t)busy);
    EXPECT_EQ(server_start(), -1);
    close(holder);
    EXPECT_FALSE(server_running());
    output = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    std::string start = "Vorten nServer start (windows).\n";
    EXPECT_EQ(output, start + "ERROR : VORNSERVERCONFIGLOAD().\n" + start + "ERROR : VORNSERVERCONFIGLOAD().\n" + start +
                          "ERROR : VORNSERVERINITSOCKET(" + std::to_string(busy) + ").\n");
}

TEST_F(ServerFixture, HostilePeersDoNotDisturbAWellBehavedClient) {
    ASSERT_EQ(server_start(), 0);
    int port = server_port();
    int good = connectLocal(port);
    ASSERT_TRUE(stepUntil(server_update, [] { return server_client_count() == 1; }));
    server_update();
    ASSERT_EQ(readSome(good, 2), (std::vector<uint8_t>{0x40, 0}));

    int noisy = connectLocal(port);
    std::mt19937 random(12345);
    std::vector<uint8_t> noise(4096), block(64 * 1024, 0xFF);
    for (uint8_t& b : noise) b = (uint8_t)random();
    sendBytes(noisy, noise);
    int flood = connectLocal(port);

    for (int round = 0; round < 40; round++) {
        send(flood, block.data(), block.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        for (int i = 0; i < 50; i++) stormConnection(port, i % 2 == 0);
        server_update();
        uint8_t tag = (uint8_t)round;
        sendBytes(good, {0x82, tag, 0x55});
        ASSERT_TRUE(stepUntil(server_update, [&] { return messageOf(0) == std::vector<uint8_t>{0x82, tag, 0x55}; }))
            << "round " << round;
    }
    // The storm's connections all leave; the three that stay keep their slots.
    EXPECT_TRUE(stepUntil(server_update, [] { return server_client_count() == 3; }, 10000));
    for (int s : {good, noisy, flood}) close(s);
    output = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    size_t accepted = 0;
    for (size_t at = output.find(" connected with ID="); at != std::string::npos;
         at = output.find(" connected with ID=", at + 1))
        accepted++;
    EXPECT_GT(accepted, 100u);  // the storm did reach the server
}
