#include "StandInServer.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <unistd.h>

// clipferry-stand-in [--exit-on-stdin-eof] [--tls CERTIFICATE KEY]
// Serves on 127.0.0.1 on a port the system picks and prints that port as the first line
// of standard output. With --exit-on-stdin-eof it stops when its standard input closes,
// so a test process that dies does not leave it behind. With --tls it serves everything,
// the control routes too, over HTTPS with the given PEM files.
int main(int argc, char** argv) {
    bool exitOnStdinEof = false;
    const char* certificate = nullptr;
    const char* key = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--exit-on-stdin-eof") == 0) {
            exitOnStdinEof = true;
        } else if (std::strcmp(argv[i], "--tls") == 0 && i + 2 < argc) {
            certificate = argv[++i];
            key = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--exit-on-stdin-eof] [--tls CERTIFICATE KEY]\n",
                         argv[0]);
            return 2;
        }
    }

    // Dropped connections are part of the job; a write to one must not end the process.
    std::signal(SIGPIPE, SIG_IGN);

    const auto made = certificate ? std::make_unique<StandInServer>(certificate, key)
                                  : std::make_unique<StandInServer>();
    StandInServer& server = *made;
    if (!server.isValid()) {
        std::fprintf(stderr, "clipferry-stand-in: cannot load %s and %s\n", certificate, key);
        return 1;
    }
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
