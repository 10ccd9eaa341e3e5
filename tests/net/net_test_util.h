// Small socket helpers for the network tests: peers on 127.0.0.1 driven by the test itself.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

// A blocking TCP connection to 127.0.0.1:port, or -1.
inline int connectLocal(int port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons((uint16_t)port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(s, (sockaddr*)&a, sizeof a) != 0) {
        close(s);
        return -1;
    }
    return s;
}

// A listening socket on 127.0.0.1 with a free port (*port).
inline int listenLocal(int* port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    if (bind(s, (sockaddr*)&a, sizeof a) != 0 || listen(s, 16) != 0 || getsockname(s, (sockaddr*)&a, &n) != 0) {
        close(s);
        return -1;
    }
    *port = ntohs(a.sin_port);
    return s;
}

// Reads up to n bytes, waiting at most timeoutMs in all; stops early at the peer's close.
inline std::vector<uint8_t> readSome(int s, size_t n, int timeoutMs = 2000) {
    std::vector<uint8_t> out;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (out.size() < n) {
        int left = (int)std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        pollfd p = {s, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, left) <= 0) break;
        uint8_t buffer[512];
        ssize_t got = recv(s, buffer, n - out.size() < sizeof buffer ? n - out.size() : sizeof buffer, 0);
        if (got <= 0) break;
        out.insert(out.end(), buffer, buffer + got);
    }
    return out;
}

inline void sendBytes(int s, const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(send(s, bytes.data(), bytes.size(), MSG_NOSIGNAL), (ssize_t)bytes.size());
}

// Runs step (then sleeps 1 ms) until done() holds or timeoutMs passes; returns done().
inline bool stepUntil(const std::function<void()>& step, const std::function<bool()>& done, int timeoutMs = 3000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done() && std::chrono::steady_clock::now() < end) {
        step();
        usleep(1000);
    }
    return done();
}

// Open descriptors of this process.
inline int openDescriptors() {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)e;
        n++;
    }
    return n;
}
