#include "net/socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "net/framing.h"
#include "system/messages.h"

namespace {
// A reset or otherwise broken connection reports an error that will not go away: it counts as closed.
bool connectionBroken(int error) {
    return error == ECONNRESET || error == ENOTCONN || error == ETIMEDOUT || error == EPIPE || error == EBADF;
}

// One non-blocking recv of exactly n bytes after a readiness check. 1 when all n arrived, 0 when not.
bool readPart(int32_t socket, uint8_t* into, int32_t n) {
    if (net_poll_readable(socket) <= 0) return false;
    ssize_t got = recv(socket, into, (size_t)n, MSG_DONTWAIT);
    return got == n;
}
}  // namespace

int32_t netSocketClose(int32_t socket) {
    if (socket == -1) return -1;
    if (close(socket) != 0) printMessage("ERROR :VORNETSOCKETCLOSE().\n");
    return -1;
}

int32_t net_poll_readable(int32_t socket) {
    struct pollfd p = {socket, POLLIN, 0};
    int result;
    do {
        result = poll(&p, 1, 0);
    } while (result < 0 && errno == EINTR);
    if (result < 0) printMessage("ERROR : VORNSERVERRECEIVE()->select.\n");
    return result;
}

void net_drain(int32_t socket) {
    uint8_t discard[255];
    // Capped, so that a peer that floods cannot hold the caller's frame.
    for (int32_t reads = 0; reads < NET_DRAIN_MAX_READS; reads++) {
        if (net_poll_readable(socket) <= 0) return;
        if (recv(socket, discard, sizeof discard, MSG_DONTWAIT) != (ssize_t)sizeof discard) return;
    }
}

int32_t netReceive(int32_t socket, int32_t side, const uint8_t lengthTable[256], uint8_t* out, int32_t* length) {
    if (net_poll_readable(socket) <= 0) return NET_RECEIVE_NOTHING;
    uint8_t message[NET_MESSAGE_CAPACITY];
    ssize_t got = recv(socket, message, 1, MSG_DONTWAIT);
    if (got == 0) return NET_RECEIVE_CLOSED;
    if (got < 0) {
        if (connectionBroken(errno)) return NET_RECEIVE_CLOSED;
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return NET_RECEIVE_NOTHING;
        net_drain(socket);
        return NET_RECEIVE_DROPPED;
    }
    int32_t have = 1;
    for (;;) {
        int32_t need = frameNext(side, message, have, lengthTable);
        if (need == 0) break;
        // Each part after the type byte is read once and must arrive whole; anything else drops it.
        if (need < 0 || have + need > NET_MESSAGE_CAPACITY || !readPart(socket, message + have, need)) {
            net_drain(socket);
            return NET_RECEIVE_DROPPED;
        }
        have += need;
    }
    std::memcpy(out, message, (size_t)have);
    *length = have;
    return NET_RECEIVE_MESSAGE;
}

int32_t netSendAll(int32_t socket, const uint8_t* data, int32_t n) {
    if (socket == -1 || n < 0) return -1;
    ssize_t sent = send(socket, data, (size_t)n, MSG_NOSIGNAL);
    return sent == n ? 0 : -1;
}
