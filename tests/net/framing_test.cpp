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

TEST(Framing, ServerSideFramesKnownTypesAndDrainsTheRest) {
    Pair p;
    p.put({0x85, 1, 2, 3, 4, 5});
    Received r = receive(p.fd[0], NET_SIDE_SERVER);
    EXPECT_EQ(r.status, NET_RECEIVE_MESSAGE);
    EXPECT_EQ(r.message, (std::vector<uint8_t>{0x85, 1, 2, 3, 4, 5}));

    // Length bytes outside 1 ... 31 drop the message and whatever waits behind it.
    p.put({0x41, 0, 5, 1, 2, 3, 4, 5, 0x43});
    EXPECT_EQ(receive(p.fd[0], NET_SIDE_SERVER).status, NET_RECEIVE_DROPPED);
    EXPECT_EQ(receive(p.fd[0], NET_SIDE_SERVER).status, NET_RECEIVE_NOTHING);

    p.put({0x44, 1, 2, 3, 9, 9, 9, 9, 9, 9});
    EXPECT_EQ(receive(p.fd[0], NET_SIDE_SERVER).message.size(), 10u);
    std::vector<uint8_t> longest = {0x42, 31, 31};
    longest.resize(65, 7);
    p.put(longest);
    EXPECT_EQ(receive(p.fd[0], NET_SIDE_SERVER).message, longest);
    // A zero-length body and the bodiless type are complete at once; an unknown type is drained.
    for (uint8_t type : {0x80, 0x43}) {
        p.put({type});
        EXPECT_EQ(receive(p.fd[0], NET_SIDE_SERVER).message, std::vector<uint8_t>{type});
    }
    p.put({0x10, 0x85});
    EXPECT_EQ(receive(p.fd[0], NET_SIDE_SERVER).status, NET_RECEIVE_DROPPED);

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

TEST(Framing, ClientSideReadsOneMoreBodyByteAndUnsetLengthsAreUnknown) {
    Pair p;
    uint8_t lengths[256] = {};
    p.put({0x85, 1, 2, 3, 4, 5, 6});
    EXPECT_EQ(receive(p.fd[0], NET_SIDE_CLIENT, lengths).message.size(), 7u);
    p.put({0x40, 7});
    EXPECT_EQ(receive(p.fd[0], NET_SIDE_CLIENT, lengths).message, (std::vector<uint8_t>{0x40, 7}));
    // With the table all zero (the viewer's) a type 0x20 ... 0x3F is drained, never read as -1 bytes.
    p.put({0x20, 1, 2, 3});
    EXPECT_EQ(receive(p.fd[0], NET_SIDE_CLIENT, lengths).status, NET_RECEIVE_DROPPED);
    lengths[0x20] = 4;
    lengths[0x3F] = 1;
    p.put({0x20, 1, 2, 3});
    EXPECT_EQ(receive(p.fd[0], NET_SIDE_CLIENT, lengths).message.size(), 4u);
    p.put({0x3F});
    EXPECT_EQ(receive(p.fd[0], NET_SIDE_CLIENT, lengths).message, std::vector<uint8_t>{0x3F});
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
