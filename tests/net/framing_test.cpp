// The receive step over a socket pair: what each type byte frames, what is drained, and how a
// partial message or a flood is handled without waiting.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "net/framing.h"
#include "net/socket.h"
#include "net_test_util.h"

namespace {
struct Pair {
    int fd[2];
    Pair() { socketpair(AF_UNIX, SOCK_STREAM, 0, fd); }
    ~Pair() {
        close(fd[0]);
        close(fd[1]);
    }
    void put(const std::vector<uint8_t>& bytes) { sendBytes(fd[1], bytes); }
};

struct Received {
    int32_t status;
    std::vector<uint8_t> message;
};

Received receive(int fd, int32_t side, const uint8_t* lengths = nullptr) {
    uint8_t area[NET_MESSAGE_CAPACITY] = {};
    int32_t length = 0;
    int32_t status = netReceive(fd, side, lengths, area, &length);
    return {status, std::vector<uint8_t>(area, area + length)};
}
}  // namespace

TEST(Framing, EachTypeByteFramesItsMessageOrDrainsWhatWaits) {
    uint8_t lengths[256] = {};  // the client's table: only 0x20 and 0x3F have lengths
    lengths[0x20] = 4;
    lengths[0x3F] = 1;
    std::vector<uint8_t> longest = {0x42, 31, 31}, tooLong = {0x42, 32, 1};
    longest.resize(65, 7);
    tooLong.resize(36, 7);
    const struct {
        int32_t side;
        std::vector<uint8_t> bytes;
        int32_t status;  // a message is all the bytes; after each case nothing is left waiting
    } cases[] = {
        {NET_SIDE_SERVER, {0x85, 1, 2, 3, 4, 5}, NET_RECEIVE_MESSAGE},
        {NET_SIDE_SERVER, {0x44, 1, 2, 3, 9, 9, 9, 9, 9, 9}, NET_RECEIVE_MESSAGE},
        {NET_SIDE_SERVER, longest, NET_RECEIVE_MESSAGE},
        // Length bytes outside 1 ... 31 drop the message and whatever waits behind it.
        {NET_SIDE_SERVER, {0x41, 0, 5, 1, 2, 3, 4, 5, 0x43}, NET_RECEIVE_DROPPED},
        {NET_SIDE_SERVER, tooLong, NET_RECEIVE_DROPPED},
        // A zero-length body and the bodiless type are complete at once; an unknown type is drained.
        {NET_SIDE_SERVER, {0x80}, NET_RECEIVE_MESSAGE},
        {NET_SIDE_SERVER, {0x43}, NET_RECEIVE_MESSAGE},
        {NET_SIDE_SERVER, {0x10, 0x85}, NET_RECEIVE_DROPPED},
        // The client side reads one more body byte after a high type byte.
        {NET_SIDE_CLIENT, {0x85, 1, 2, 3, 4, 5, 6}, NET_RECEIVE_MESSAGE},
        {NET_SIDE_CLIENT, {0x40, 7}, NET_RECEIVE_MESSAGE},
        {NET_SIDE_CLIENT, {0x43, 7}, NET_RECEIVE_MESSAGE},
        {NET_SIDE_CLIENT, {0x20, 1, 2, 3}, NET_RECEIVE_MESSAGE},
        {NET_SIDE_CLIENT, {0x3F}, NET_RECEIVE_MESSAGE},
        // A length the table leaves at 0 (all of them in the viewer's) is an unknown type, never -1 bytes.
        {NET_SIDE_CLIENT, {0x21, 1, 2, 3}, NET_RECEIVE_DROPPED},
    };
    Pair p;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << (int)c.bytes[0] << " side " << c.side);
        p.put(c.bytes);
        Received r = receive(p.fd[0], c.side, lengths);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.message, c.status == NET_RECEIVE_MESSAGE ? c.bytes : std::vector<uint8_t>{});
        EXPECT_EQ(receive(p.fd[0], c.side, lengths).status, NET_RECEIVE_NOTHING);
    }
    // Half a message does not make the step wait: it is dropped, and the rest arrives as new
    // (here unknown) type bytes.
    p.put({0x85, 1, 2});
    EXPECT_EQ(receive(p.fd[0], NET_SIDE_SERVER).status, NET_RECEIVE_DROPPED);
    p.put({3, 4, 5});
    EXPECT_EQ(receive(p.fd[0], NET_SIDE_SERVER).status, NET_RECEIVE_DROPPED);
    close(p.fd[1]);
    p.fd[1] = -1;
    EXPECT_EQ(receive(p.fd[0], NET_SIDE_SERVER).status, NET_RECEIVE_CLOSED);
}

TEST(Framing, AFloodIsDrainedABoundedAmountPerStep) {
    Pair p;
    std::vector<uint8_t> junk(64 * 1024, 0x10);
    p.put(junk);
    int steps = 0;
    while (receive(p.fd[0], NET_SIDE_SERVER).status == NET_RECEIVE_DROPPED) steps++;
    // Each step reads at most the type byte and NET_DRAIN_MAX_READS blocks of 255 bytes.
    EXPECT_GE(steps, (int)(junk.size() / (1 + NET_DRAIN_MAX_READS * 255)));
    EXPECT_EQ(receive(p.fd[0], NET_SIDE_SERVER).status, NET_RECEIVE_NOTHING);
}
