#include "net/server.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <system_error>
#include <thread>

#include "net/framing.h"
#include "net/settings.h"
#include "net/socket.h"
#include "system/messages.h"

namespace {
struct ServerState {
    int32_t listenSocket = -1;
    int32_t port = 0;
    int32_t clientCount = 0;  // guarded by lock
    bool running = false;     // main thread only
    std::atomic<bool> stopping{false};
    std::mutex lock;  // slot sockets, isNew, reserved and clientCount
    std::thread acceptThread;
    // The accept thread reports that it runs, so that start can return once it does.
    std::mutex startedLock;
    std::condition_variable startedSignal;
    bool started = false;
    ServerClientSlot slots[SERVER_MAX_CLIENTS];
};
ServerState server;

// Errors after which accept can go on: a signal, a connection that went away before it was taken,
// and a shortage that a moment may end.
bool acceptCanRetry(int error) {
    return error == EINTR || error == ECONNABORTED || error == EPROTO || error == EMFILE || error == ENFILE ||
           error == ENOBUFS || error == ENOMEM;
}

void acceptLoop(int32_t listenSocket) {
    {
        std::lock_guard<std::mutex> guard(server.startedLock);
        server.started = true;
    }
    server.startedSignal.notify_all();
    for (;;) {
        int32_t socket = accept4(listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) {
            int error = errno;
            if (server.stopping.load()) return;
            if (acceptCanRetry(error)) {
                if (error != EINTR && error != ECONNABORTED && error != EPROTO)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            printMessage("ERROR : VORACCEPTINGTHREAD.\n");
            return;
        }
        // Find and fill the slot in one locked section, so no update sees a half-filled slot.
        int32_t id = -1;
        int32_t count = 0;
        {
            std::lock_guard<std::mutex> guard(server.lock);
            for (int32_t i = 0; i < SERVER_MAX_CLIENTS && id == -1; i++)
                if (server.slots[i].socket == -1) id = i;
            if (id != -1) {
                ServerClientSlot& slot = server.slots[id];
                slot.socket = socket;
                slot.isNew = 1;
                slot.reserved = 0;
                server.clientCount++;
                count = server.clientCount;
            }
        }
        if (id == -1) {
            printMessage("ERROR : CONNECT->VORNSERVERFINDCLIENT\n");
            netSocketClose(socket);  // told nothing; it must not hold a descriptor
            continue;
        }
        printMessage("Client on socket=%d connected with ID=%d\n", socket, id);
        printMessage("%d clients connected\n", count);
    }
}

void resetSlots() {
    for (ServerClientSlot& slot : server.slots) {
        slot.isNew = 0;
        slot.socket = -1;
        slot.snapshot = -1;
        slot.reserved = 0;
        slot.length = 0;
    }
    server.clientCount = 0;
}

void disconnect(int32_t id, int32_t socket) {
    printMessage("Client on socket=%d with ID=%d disconnected\n", socket, id);
    int32_t count;
    {
        std::lock_guard<std::mutex> guard(server.lock);
        ServerClientSlot& slot = server.slots[id];
        // Only the descriptor this step read is closed, and the slot cleared only while it holds it.
        if (slot.socket == socket) {
            slot.socket = netSocketClose(socket);
            slot.isNew = 0;
            server.clientCount--;
        }
        count = server.clientCount;
    }
    server.slots[id].snapshot = -1;
    printMessage("%d clients connected\n", count);
}

int32_t openListeningSocket(uint16_t port) {
    int32_t s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    int on = 1;
    // A restart on the same port must not wait for the old connections' TIME_WAIT.
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (bind(s, (sockaddr*)&address, sizeof address) != 0 || listen(s, SERVER_LISTEN_BACKLOG) != 0) {
        return netSocketClose(s);
    }
    socklen_t length = sizeof address;
    server.port = getsockname(s, (sockaddr*)&address, &length) == 0 ? ntohs(address.sin_port) : port;
    return s;
}

void closeEverything() {
    server.listenSocket = netSocketClose(server.listenSocket);
    std::lock_guard<std::mutex> guard(server.lock);
    for (ServerClientSlot& slot : server.slots) {
        slot.socket = netSocketClose(slot.socket);
        slot.snapshot = -1;
        slot.isNew = 0;
    }
    server.clientCount = 0;
    server.port = 0;
}
}  // namespace

int32_t server_start() {
    printMessage("Vorten nServer start (windows).\n");
    if (server.running) return -1;
    server.listenSocket = -1;
    resetSlots();
    ServerConfig config;
    if (serverConfigLoad(&config) != 0) {
        printMessage("ERROR : VORNSERVERCONFIGLOAD().\n");
        return -1;
    }
    int32_t s = openListeningSocket(config.port);
    if (s < 0) {
        printMessage("ERROR : VORNSERVERINITSOCKET(%d).\n", config.port);
        return -1;
    }
    server.listenSocket = s;
    server.stopping.store(false);
    server.started = false;
    // std::thread reports a failed start only by throwing; that is turned into the status here.
    try {
        server.acceptThread = std::thread(acceptLoop, s);
    } catch (const std::system_error&) {
        printMessage("ERROR : VORNSERVERINITTHREAD().\n");
        closeEverything();
        return -1;
    }
    server.running = true;
    {
        // Instead of a fixed one-second pause: wait (at most that long) until the thread runs.
        std::unique_lock<std::mutex> guard(server.startedLock);
        server.startedSignal.wait_for(guard, std::chrono::milliseconds(1000), [] { return server.started; });
    }
    printMessage("Vorten nServer ready %d.\n", server.port);
    return 0;
}

void server_update() {
    if (!server.running) return;
    static const uint8_t kWelcome = 0x40;
    {
        std::lock_guard<std::mutex> guard(server.lock);
        for (int32_t i = 0; i < SERVER_MAX_CLIENTS; i++) {
            ServerClientSlot& slot = server.slots[i];
            slot.snapshot = slot.socket;
            if (slot.isNew != 1) continue;
            uint8_t welcome[2] = {kWelcome, (uint8_t)i};
            if (netSendAll(slot.socket, welcome, 2) != 0) printMessage("ERROR : VORNSERVERSEND()->send.\n");
            slot.isNew = 0;
        }
    }
    // One poll over every client instead of a readiness check per slot.
    struct pollfd ready[SERVER_MAX_CLIENTS];
    int32_t ids[SERVER_MAX_CLIENTS];
    int32_t n = 0;
    for (int32_t i = 0; i < SERVER_MAX_CLIENTS; i++) {
        if (server.slots[i].snapshot == -1) continue;
        ready[n] = {server.slots[i].snapshot, POLLIN, 0};
        ids[n++] = i;
    }
    if (n == 0) return;
    int result;
    do {
        result = poll(ready, (nfds_t)n, 0);
    } while (result < 0 && errno == EINTR);
    if (result < 0) {
        printMessage("ERROR : VORNSERVERRECEIVE()->select.\n");
        return;
    }
    for (int32_t k = 0; k < n && result > 0; k++) {
        if (ready[k].revents == 0) continue;
        ServerClientSlot& slot = server.slots[ids[k]];
        int32_t length = 0;
        int32_t status = netReceive(slot.snapshot, NET_SIDE_SERVER, nullptr, slot.area, &length);
        if (status == NET_RECEIVE_MESSAGE) slot.length = length;
        else if (status == NET_RECEIVE_CLOSED) disconnect(ids[k], slot.snapshot);
    }
}

int32_t server_stop() {
    if (!server.running) return -1;
    server.stopping.store(true);
    // The blocked accept returns once the listening socket is shut down; then the thread ends.
    shutdown(server.listenSocket, SHUT_RDWR);
    if (server.acceptThread.joinable()) server.acceptThread.join();
    closeEverything();
    server.running = false;
    return 0;
}

bool server_running() { return server.running; }

int32_t server_port() { return server.running ? server.port : 0; }

int32_t server_client_count() {
    std::lock_guard<std::mutex> guard(server.lock);
    return server.clientCount;
}

int32_t server_message(int32_t id, uint8_t* out) {
    if (id < 0 || id >= SERVER_MAX_CLIENTS) return -1;
    const ServerClientSlot& slot = server.slots[id];
    std::memcpy(out, slot.area, (size_t)slot.length);
    return slot.length;
}
