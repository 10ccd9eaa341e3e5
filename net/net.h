// The network layer's start-up and shut-down, called by the engine's start and stop.
#pragma once

// Resets the 4 client connections (the platform's sockets need no start-up here).
void net_init();
// Stops a running server (its thread must not outlive the engine), then closes every connection.
void net_shutdown();
