#include "net/net.h"

#include "net/client.h"
#include "net/server.h"

void net_init() { clientInitAll(); }

void net_shutdown() {
    if (server_running()) server_stop();
    clientShutdownAll();
}
