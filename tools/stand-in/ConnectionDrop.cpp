#include "ConnectionDrop.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>

namespace {

int portOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return -1;
}

} // namespace

bool dropConnection(const httplib::Request& request) {
    return dropConnection(request.remote_port, request.local_port);
}

bool dropConnection(int remotePort, int localPort) {
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    const int highest = static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 65536));
    for (int fd = 3; fd < highest; ++fd) {
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 ||
            portOf(peer) != remotePort)
            continue;
        sockaddr_storage local{};
        length = sizeof local;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
            portOf(local) != localPort)
            continue;
        // A zero linger turns the close into a reset, as when a peer vanishes.
        const linger abort{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        shutdown(fd, SHUT_RDWR);
        return true;
    }
    return false;
}
