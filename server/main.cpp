// voidrunner-server: the verified online leaderboard (docs/server.md).
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Admin.h"
#include "Log.h"
#include "Server.h"
#include "Store.h"
#include "Verifier.h"
#include "app/CommandLine.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--verify-worker") == 0) return verifierMain();
    if (argc >= 2 && std::strcmp(argv[1], "admin") == 0) return adminMain(argc - 2, argv + 2);
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
    const bool zygote = startWorkerZygote();
    if (!zygote)
        logEvent(LogLevel::Warning, "no_zygote", {{"msg", "workers start from the program file"}});

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
        const std::string db = redactUrl(config.db);
        std::printf("voidrunner-server: listening on %s port %d, %s\n", config.listen.c_str(),
                    server.port(), db.c_str());
        std::vector<LogField> started{{"version", programVersion()},    {"listen", config.listen},
                                      {"port", server.port()},          {"db", db},
                                      {"workers", config.workers},      {"queue", config.queue},
                                      {"zygote", zygote ? "yes" : "no"}};
        if (!config.siteFolder.empty()) started.emplace_back("site", config.siteFolder);
        logEvent(LogLevel::Info, "start", started);
        // A server that hands out known seeds must never pass for a real one.
        if (config.testSeed >= 0)
            logEvent(LogLevel::Warning, "tests_only",
                     {{"msg", "every ranked ticket has seed " + std::to_string(config.testSeed)}});
        if (config.clockScale != 1)
            logEvent(LogLevel::Warning, "tests_only",
                     {{"msg", "the clock runs faster"}, {"clock_scale", config.clockScale}});
        std::fflush(stdout);
        int sig = 0;
        sigwait(&stop, &sig);
        std::printf("voidrunner-server: stopping\n");
        std::fflush(stdout);
        logEvent(LogLevel::Info, "stop", {{"signal", sig == SIGINT ? "SIGINT" : "SIGTERM"}});
        // Every request taken is answered: runs under way are played to the
        // end, and those waiting are told to come again.
        server.drain(config.verifySeconds + 5);
        logEvent(LogLevel::Info, "stopped", {});
    } catch (const std::exception& e) {
        logEvent(LogLevel::Error, "start_failed", {{"error", e.what()}});
        return 1;
    }
    return 0;
}
