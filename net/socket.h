// The socket calls of the network layer: closing, readiness, draining, and the receive step that
// reads one framed message from a socket. Every read is non-blocking and follows a readiness check,
// so a step never waits for a slow or silent peer.
#pragma once
#include <cstdint>

enum { NET_DRAIN_MAX_READS = 64 };  // a drain reads at most this many 255-byte blocks per call

// What one receive step did.
enum {
    NET_RECEIVE_NOTHING = 0,  // no data was waiting
    NET_RECEIVE_MESSAGE = 1,  // a whole message is in the out area
    NET_RECEIVE_DROPPED = 2,  // a malformed, unknown or incomplete message was drained
    NET_RECEIVE_CLOSED = 3,   // the peer closed (or reset) the connection
};

// Closes a socket that is not -1; a failure prints "ERROR :VORNETSOCKETCLOSE().\n". Always -1, which
// the caller stores back.
int32_t netSocketClose(int32_t socket);
// Whether data (or a close) is waiting: 1 yes, 0 no, negative on failure (which prints
// "ERROR : VORNSERVERRECEIVE()->select.\n").
int32_t net_poll_readable(int32_t socket);
// While the socket is readable, reads up to 255 bytes and discards them; stops after the first read
// that returns anything but 255, or after NET_DRAIN_MAX_READS reads.
void net_drain(int32_t socket);
// Reads at most one message from the socket (side NET_SIDE_*, lengthTable for the client side).
// A whole message goes to out (NET_MESSAGE_CAPACITY bytes) with its length; otherwise out is left
// as it was. One of NET_RECEIVE_*.
int32_t netReceive(int32_t socket, int32_t side, const uint8_t lengthTable[256], uint8_t* out, int32_t* length);
// Sends all n bytes in one send without raising SIGPIPE: 0 when all went out, -1 otherwise.
int32_t netSendAll(int32_t socket, const uint8_t* data, int32_t n);
