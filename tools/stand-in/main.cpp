#include "StandInServer.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>
#include <unistd.h>

// clipferry-stand-in [--exit-on-stdin-eof]
// Serves on 127.0.0.1 on a port the system picks and prints that port as the first line
// of standard output. With --exit-on-stdin-eof it stops when its standard input closes,
// so a test process that dies does not leave it behind.
int main(int argc, char** argv) {
    bool exitOnStdinEof = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--exit-on-stdin-eof") == 0) {
            exitOnStdinEof = true;
        } else {
            std::fprintf(stderr, "usage: %s [--exit-on-stdin-eof]\n", argv[0]);
            return 2;
        }
    }

    // Dropped connections are part of the job; a write to one must not end the process.
    std::signal(SIGPIPE, SIG_IGN);

    StandInServer server;
    const int port = server.bind();
    if (port <= 0) {
        std::fprintf(stderr, "clipferry-stand-in: cannot listen on 127.0.0.1\n");
        return 1;
    }
    std::printf("%d\n", port);
    std::fflush(stdout);

    if (exitOnStdinEof) {
        std::thread([&server] {
            char buffer[256];
            while (read(STDIN_FILENO, buffer, sizeof buffer) > 0) {
            }
            server.stop();
        }).detach();
    }
    server.run();
    return 0;
}
