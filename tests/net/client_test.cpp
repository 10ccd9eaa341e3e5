// The client connections against listeners of the test on 127.0.0.1: the server list's pass order,
// the welcome, a peer that leaves, sending; and the two settings files.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "net/client.h"
#include "net/net.h"
#include "net/settings.h"
#include "net_test_util.h"
#include "support/test_support.h"
#include "system/files.h"

namespace {
int32_t add(SlotTable* list, const char* address, int port, uint8_t kind) {
    ServerListEntry e{};
    std::strncpy(e.address, address, sizeof e.address - 1);
    e.port = (uint16_t)port;
    e.kind = kind;
    return serverListAdd(list, &e);
}

// Accepts a waiting connection without blocking, or -1.
int acceptWaiting(int listener) {
    pollfd p = {listener, POLLIN, 0};
    return poll(&p, 1, 0) == 1 ? accept(listener, nullptr, nullptr) : -1;
}
}  // namespace

TEST(Client, AConnectionTriesTheListInPassOrderOneEntryPerUpdateAndSends) {
    TempDir home;
    createDataDirectories(home.path().c_str());
    int ports[2], listeners[2];
    for (int i = 0; i < 2; i++) listeners[i] = listenLocal(&ports[i]);
    SlotTable list;
    serverListInit(&list);
    add(&list, "127.0.0.1", ports[0], 1);
    add(&list, "127.0.0.1", ports[1], 2);
    ASSERT_EQ(serverListSave(&list), 0);
    slotFree(&list);
    net_init();

    // Connection 0: slot 0 is of the wrong kind for the first pass, slot 1 answers.
    client_connect(0);
    client_update();
    EXPECT_EQ(client_connection(0)->state, CLIENT_CONNECTING);  // one entry per update
    EXPECT_EQ(client_connection(0)->serverIndex, 1);
    client_update();
    EXPECT_EQ(client_connection(0)->state, CLIENT_CONNECTED);
    int peer = acceptWaiting(listeners[1]);
    ASSERT_NE(peer, -1);
    EXPECT_EQ(acceptWaiting(listeners[0]), -1);
    for (int l : listeners) close(l);

    // The welcome gives the id; a framed message reaches the receive area; a peer that leaves closes.
    sendBytes(peer, {0x40, 0x07});
    ASSERT_TRUE(stepUntil(client_update, [] { return client_connection(0)->state == CLIENT_IDENTIFIED; }));
    EXPECT_EQ(client_connection(0)->clientId, 7);
    sendBytes(peer, {0x81, 0xAA, 0xBB});
    ASSERT_TRUE(stepUntil(client_update, [] { return client_connection(0)->length == 3; }));
    EXPECT_EQ(std::vector<uint8_t>(client_connection(0)->area, client_connection(0)->area + 3),
              (std::vector<uint8_t>{0x81, 0xAA, 0xBB}));

    // Sending: the buffer goes out whole; bad arguments and unconnected connections are refused.
    std::memcpy(client_connection(0)->sendBuffer, "\x43hello", 6);
    EXPECT_EQ(client_send(0, 6), 0);
    EXPECT_EQ(readSome(peer, 6), (std::vector<uint8_t>{0x43, 'h', 'e', 'l', 'l', 'o'}));
    for (auto [connection, n] : {std::pair<int32_t, int32_t>{0, -1}, {0, CLIENT_SEND_CAPACITY + 1}, {4, 1}, {1, 1}})
        EXPECT_EQ(client_send(connection, n), -1) << connection << " " << n;
    EXPECT_EQ(client_connection(CLIENT_CONNECTIONS), nullptr);

    close(peer);
    ASSERT_TRUE(stepUntil(client_update, [] { return client_connection(0)->state == CLIENT_CLOSED; }));
    EXPECT_EQ(client_connection(0)->socket, -1);
    EXPECT_EQ(client_send(0, 1), -1);  // a peer that already left never raises SIGPIPE
    net_shutdown();
}

TEST(Client, TheServerListKeepsOneEntryPerAddressAndPortAndCutsLongAddresses) {
    TempDir home;
    createDataDirectories(home.path().c_str());
    SlotTable list;
    serverListInit(&list);
    EXPECT_EQ(add(&list, "10.0.0.1", 80, 0), 0);
    EXPECT_EQ(add(&list, "10.0.0.1", 81, 0), 1);
    EXPECT_EQ(add(&list, "10.0.0.1", 80, 2), 0);  // replaces
    ASSERT_EQ(serverListSave(&list), 0);
    slotFree(&list);
    std::vector<uint8_t> bytes = readBytes(home.path() + "data/nsstatus.stf");
    ASSERT_EQ(bytes.size(), 12u + 2 * (4 + 36));
    EXPECT_EQ(bytes[12 + 4 + 34], 2);  // the kind of the replaced entry

    // An address text that fills all 32 bytes ends at the 32nd.
    std::memset(&bytes[12 + 4], '7', 32);
    writeBytes(home.path() + "data/nsstatus.stf", bytes);
    serverListInit(&list);
    ASSERT_EQ(serverListLoad(&list), 0);
    ServerListEntry loaded;
    ASSERT_TRUE(serverListEntry(&list, 0, &loaded));
    EXPECT_EQ(std::strlen(loaded.address), 31u);
    ASSERT_TRUE(serverListEntry(&list, 1, &loaded));
    EXPECT_EQ(loaded.port, 81);
    slotFree(&list);

    ServerConfig config{};
    std::strcpy(config.text, "name");
    config.port = 0x1234;
    ASSERT_EQ(serverConfigSave(&config), 0);
    std::vector<uint8_t> raw = readBytes(home.path() + "data/nsconfig.stf");
    ASSERT_EQ(raw.size(), 34u);
    EXPECT_EQ(raw[32], 0x34);
    EXPECT_EQ(raw[33], 0x12);
}
