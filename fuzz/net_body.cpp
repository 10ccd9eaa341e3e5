// Feeds an arbitrary byte stream through a socket pair into the server's and the client's receive
// steps, whole or in chunks between steps. Every message a step reports must be one that the framing
// table completes exactly, and every step must make progress until the peer's close is seen.
// Layout: byte 0 = chunk size (0: the whole stream at once), bytes 1 ... 32 = the client's lengths
// of types 0x20 ... 0x3F, then the stream.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_target.h"
#include "net/framing.h"
#include "net/socket.h"

namespace {
// True when the framing table splits message into parts that end exactly at length.
bool framedExactly(int32_t side, const uint8_t* message, int32_t length, const uint8_t* lengthTable) {
    int32_t have = 1;
    for (;;) {
        int32_t need = frameNext(side, message, have, lengthTable);
        if (need < 0) return false;
        if (need == 0) return have == length;
        have += need;
        if (have > length) return false;
    }
}

void runSide(int32_t side, size_t chunk, const uint8_t* lengthTable, const uint8_t* stream, size_t size) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return;
    size_t written = 0;
    size_t steps = 0;
    size_t limit = size + (chunk ? size / chunk : 0) + 8;
    bool closed = false;
    while (!closed) {
        if (written < size) {
            size_t n = chunk ? (chunk < size - written ? chunk : size - written) : size - written;
            ssize_t sent = send(pair[1], stream + written, n, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (sent > 0) written += (size_t)sent;
        }
        if (written >= size) shutdown(pair[1], SHUT_WR);
        uint8_t area[NET_MESSAGE_CAPACITY];
        int32_t length = 0;
        int32_t status = netReceive(pair[0], side, lengthTable, area, &length);
        if (status == NET_RECEIVE_MESSAGE &&
            (length < 1 || length > NET_MESSAGE_CAPACITY || !framedExactly(side, area, length, lengthTable)))
            std::abort();
        closed = status == NET_RECEIVE_CLOSED;
        if (++steps > limit) std::abort();  // a step that neither reads nor sees the close
    }
    close(pair[0]);
    close(pair[1]);
}
}  // namespace

VCV_FUZZ_TARGET(net) {
    if (size < 33 || size > 16384) return 0;
    uint8_t lengthTable[256] = {};
    std::memcpy(lengthTable + 0x20, data + 1, 32);
    runSide(NET_SIDE_SERVER, data[0], lengthTable, data + 33, size - 33);
    runSide(NET_SIDE_CLIENT, data[0], lengthTable, data + 33, size - 33);
    return 0;
}
