// voidrunner-server: the verified online leaderboard (docs/server.md).
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "Server.h"
#include "Verifier.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--verify-worker") == 0) return verifierMain();
    ServerConfig config;
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    config.workers = cores > 0 ? static_cast<int>(cores) : 1;
    bool help = false;
    std::string error;
    if (!parseServerArgs(argc, argv, config, help, error)) {
        std::fprintf(stderr, "voidrunner-server: %s\n%s", error.c_str(), kServerUsage);
        return 2;
    }
    if (help) {
        std::fputs(kServerUsage, stdout);
        return 0;
    }
    // Before the first thread: the zygote must be a copy of one thread.
    if (!startWorkerZygote())
        std::fputs("voidrunner-server: no zygote; workers start from the program file\n", stderr);

    // A client that goes away mid-reply, or a worker that dies, must not end
    // the server; nor a file size limit, which fails the write instead.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // every thread after this too
    try {
        Server server(config);
        std::printf("voidrunner-server: listening on %s port %d, %s\n", config.listen.c_str(),
                    server.port(), config.db.c_str());
        // A server that hands out known seeds must never pass for a real one.
        if (config.testSeed >= 0)
            std::fprintf(stderr,
                         "voidrunner-server: TESTS ONLY: every ranked ticket has seed %lld\n",
                         config.testSeed);
        if (config.clockScale != 1)
            std::fprintf(stderr, "voidrunner-server: TESTS ONLY: the clock runs %g times faster\n",
                         config.clockScale);
        std::fflush(stdout);
        int sig = 0;
        sigwait(&stop, &sig);
        std::printf("voidrunner-server: stopping\n");
        std::fflush(stdout);
        // Every request taken is answered: runs under way are played to the
        // end, and those waiting are told to come again.
        server.drain(config.verifySeconds + 5);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "voidrunner-server: %s\n", e.what());
        return 1;
    }
    return 0;
}
