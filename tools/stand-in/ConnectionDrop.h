#pragma once

namespace httplib {
struct Request;
}

// Closes the TCP connection that carries `request` at once, without a reply or in the
// middle of one. cpp-httplib does not hand its sockets to handlers, so the socket is
// found among the process's descriptors by the two port numbers of the connection.
bool dropConnection(const httplib::Request& request);
bool dropConnection(int remotePort, int localPort);
