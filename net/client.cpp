#include "net/client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

#include "net/framing.h"
#include "net/settings.h"
#include "net/socket.h"

namespace {
struct ClientState {
    ClientConnection connections[CLIENT_CONNECTIONS];
    uint8_t lengthTable[256] = {};
};
ClientState client;

const uint8_t kPassKinds[3] = {2, 0, 1};

void closeConnection(ClientConnection& c) {
    c.socket = netSocketClose(c.socket);
    c.state = CLIENT_CLOSED;
    slotFree(&c.serverList);
}

// A socket connected to the entry, or -1 (an address that does not parse is skipped).
int32_t connectTo(const ServerListEntry& entry) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(entry.port);
    if (inet_pton(AF_INET, entry.address, &address.sin_addr) != 1) return -1;
    int32_t s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    if (connect(s, (sockaddr*)&address, sizeof address) != 0) return netSocketClose(s);
    return s;
}

void receiveStep(ClientConnection& c) {
    c.length = 0;
    uint8_t message[NET_MESSAGE_CAPACITY];
    int32_t length = 0;
    int32_t status = netReceive(c.socket, NET_SIDE_CLIENT, client.lengthTable, message, &length);
    if (status == NET_RECEIVE_CLOSED) {
        closeConnection(c);
        return;
    }
    if (status != NET_RECEIVE_MESSAGE) return;
    if (message[0] == 0x40) {
        // The welcome: the id the server gave this connection; the receive area stays as it was.
        c.clientId = message[1];
        c.state = CLIENT_IDENTIFIED;
        return;
    }
    std::memcpy(c.area, message, (size_t)length);
    c.length = length;
}
}  // namespace

void clientInitAll() {
    for (ClientConnection& c : client.connections) {
        slotFree(&c.serverList);
        c = ClientConnection{};
        c.socket = -1;
        c.state = CLIENT_IDLE;
        c.clientId = -1;
        c.length = 0;
        serverListInit(&c.serverList);
    }
}

void clientShutdownAll() {
    for (ClientConnection& c : client.connections) closeConnection(c);
}

void client_connect(int32_t connection) {
    ClientConnection* c = client_connection(connection);
    if (c == nullptr) return;
    if (c->state == CLIENT_IDLE) {
        // Each connection loads its own copy: one shared list would be freed by the first that connects.
        slotFree(&c->serverList);
        serverListInit(&c->serverList);
        serverListLoad(&c->serverList);  // a missing list is an empty one
        c->state = CLIENT_CONNECTING;
        c->pass = 0;
        c->serverIndex = 0;
        return;
    }
    if (c->state != CLIENT_CONNECTING) return;
    while (c->pass < 3) {
        if (c->serverIndex >= c->serverList.capacity) {
            c->serverIndex = 0;
            c->pass++;
            continue;
        }
        ServerListEntry entry;
        if (serverListEntry(&c->serverList, c->serverIndex, &entry) && entry.kind == kPassKinds[c->pass]) {
            c->socket = connectTo(entry);
            if (c->socket != -1) {
                slotFree(&c->serverList);
                c->state = CLIENT_CONNECTED;
                return;
            }
        }
        c->serverIndex++;
        return;
    }
    c->state = CLIENT_CLOSED;
    slotFree(&c->serverList);
}

void client_update() {
    for (int32_t i = 0; i < CLIENT_CONNECTIONS; i++) {
        ClientConnection& c = client.connections[i];
        if (c.state == CLIENT_CONNECTING) client_connect(i);
        else if (c.state == CLIENT_CONNECTED || c.state == CLIENT_IDENTIFIED) receiveStep(c);
    }
}

int32_t client_send(int32_t connection, int32_t n) {
    ClientConnection* c = client_connection(connection);
    if (c == nullptr || n < 0 || n > CLIENT_SEND_CAPACITY || c->socket == -1) return -1;
    return netSendAll(c->socket, c->sendBuffer, n);
}

ClientConnection* client_connection(int32_t connection) {
    if (connection < 0 || connection >= CLIENT_CONNECTIONS) return nullptr;
    return &client.connections[connection];
}

uint8_t* client_length_table() { return client.lengthTable; }
