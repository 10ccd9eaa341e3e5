// The client half: 4 outgoing connections. Each tries the servers of the server list nsstatus.stf
// (its own copy) in three passes, kinds 2, then 0, then 1, one list entry per step; once connected
// it reads at most one framed message per update. 0x40 from the server carries the client id.
#pragma once
#include <cstdint>

#include "system/slot_table.h"

enum { CLIENT_CONNECTIONS = 4, CLIENT_SEND_CAPACITY = 256 };
enum { CLIENT_IDLE = 0, CLIENT_CONNECTING = 1, CLIENT_CONNECTED = 2, CLIENT_IDENTIFIED = 3, CLIENT_CLOSED = 4 };

struct ClientConnection {
    int32_t socket;       // -1 when none
    uint8_t state;        // CLIENT_*
    int32_t pass;         // 0 ... 2 while connecting
    int32_t serverIndex;  // next server-list entry to try
    int32_t clientId;     // id received from the server, -1 at start
    uint8_t area[256];    // last complete message, type byte first
    int32_t length;       // 0 at the start of every receive step; the length of the message it read
    uint8_t sendBuffer[CLIENT_SEND_CAPACITY];  // what client_send sends
    SlotTable serverList; // this connection's copy of the server list while it connects
};

// Resets the 4 connections (socket -1, state 0, client id -1, message length 0).
void clientInitAll();
// Closes every connection (state 4) and frees the server lists.
void clientShutdownAll();
// The connect step: state 0 loads the server list and starts connecting; state 1 examines one entry.
void client_connect(int32_t connection);
// For each connection in index order: state 1 runs the connect step, states 2 and 3 the receive step.
void client_update();
// Sends the first n bytes (0 ... 256) of the connection's send buffer in one send. 0 when all went
// out; -1 when they did not, or for a bad index, a bad n or a connection without a socket.
int32_t client_send(int32_t connection, int32_t n);
// The connection record (for the application to read and to fill sendBuffer), or null for a bad index.
ClientConnection* client_connection(int32_t connection);
// The 256-byte table of total message lengths of types 0x20 ... 0x3F; the application fills it.
uint8_t* client_length_table();
