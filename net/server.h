// The nServer: a TCP server of up to 256 clients. An accept thread takes new connections into free
// client slots; server_update, called once per frame on the main thread, welcomes new clients with
// 0x40 and their slot index and reads at most one framed message per client into the slot's
// receive area. The client id of a connection is its slot index.
#pragma once
#include <cstdint>

// The listen backlog holds as many pending connections as there are slots: on Linux a connection
// that finds the queue full is not refused but silently dropped, and its client waits a second or
// more before it tries again, so a burst of clients must fit.
enum { SERVER_MAX_CLIENTS = 256, SERVER_LISTEN_BACKLOG = 256 };

// One client slot. socket -1 = free.
struct ServerClientSlot {
    uint8_t isNew;         // 1 from accept until the welcome message is sent
    int32_t socket;        // -1 when the slot is free
    int32_t snapshot;      // socket as taken under the lock at the start of each update
    uint8_t reserved;      // 0 on accept
    uint8_t area[256];     // last complete message, type byte first
    int32_t length;        // length of the message in area, 0 at start
};

// Reads nsconfig.stf, listens on its port on every local address and starts the accept thread.
// Prints "Vorten nServer start (windows).\n" and, on success, "Vorten nServer ready %d.\n" with the
// bound port. 0, or -1 (with the failing step's message); -1 as well when the server already runs.
int32_t server_start();
// One server step: welcomes new clients, then reads at most one message from each client with data
// waiting, and disconnects clients that left. Never waits for a peer.
void server_update();
// Shuts the listening socket down, joins the accept thread, closes the listening socket and every
// client. 0, or -1 when the server is not running.
int32_t server_stop();
// Whether the server runs, the port it listens on (0 when stopped), and the connected client count.
bool server_running();
int32_t server_port();
int32_t server_client_count();
// Copies the last complete message of client id into out (256 bytes) and returns its length (0 when
// none yet), or -1 for an id outside 0 ... 255. Main thread only.
int32_t server_message(int32_t id, uint8_t* out);
