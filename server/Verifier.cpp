#include "Verifier.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "Json.h"
#include "app/GameWindow.h"
#include "app/replay/ReplayRecorder.h"
#include "game/GameState.h"
#include "game/Rules.h"
#include "platform/headless/Headless.h"

#if defined(__SANITIZE_ADDRESS__)
#define VR_ASAN 1
#endif

ReplayCheck checkReplay(const std::string& text, uint32_t seed) {
    ReplayCheck c;
    const std::size_t firstEnd = text.find('\n');
    const std::size_t secondEnd = firstEnd == std::string::npos ? std::string::npos
                                                                : text.find('\n', firstEnd + 1);
    // Kept as text in either store: PostgreSQL's text takes no NUL and only
    // UTF-8.
    if (text.find('\0') != std::string::npos || !validUtf8(text)) {
        c.error = "the replay is not UTF-8 text";
        return c;
    }
    if (!parseReplay(text, c.replay, c.error)) {
        c.error = "the replay is " + c.error;
        return c;
    }
    std::string second = secondEnd == std::string::npos
                             ? std::string()
                             : text.substr(firstEnd + 1, secondEnd - firstEnd - 1);
    if (!second.empty() && second.back() == '\r') second.pop_back();
    const std::string prefix = kReplayVersionPrefix;
    if (second.rfind(prefix, 0) != 0) {
        c.error = "the replay does not say which version of the game made it";
        return c;
    }
    c.version = second.substr(prefix.size());
    // Listed beside the run: a version's few plain characters.
    if (c.version.empty() || c.version.size() > 40 ||
        c.version.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyz"
                                    "ABCDEFGHIJKLMNOPQRSTUVWXYZ.+~-") != std::string::npos) {
        c.error = "the replay's version line names no version";
        return c;
    }
    // Any version of the game that plays these rules plays the same game.
    if (c.replay.rules != kRulesVersion) {
        c.error = "this run needs the game's rules " + std::to_string(c.replay.rules);
        c.otherRules = true;
        return c;
    }
    if (c.replay.fieldWidth != kRankedWidth || c.replay.fieldHeight != kRankedHeight) {
        c.error = "ranked runs are played on the " + std::to_string(kRankedWidth) + "x" +
                  std::to_string(kRankedHeight) + " field, this one on " +
                  std::to_string(c.replay.fieldWidth) + "x" + std::to_string(c.replay.fieldHeight);
        return c;
    }
    if (c.replay.seed != seed) {
        c.error = "the replay was not played with the ticket's seed";
        return c;
    }
    c.ok = true;
    return c;
}

Verdict simulate(const Replay& replay) {
    // Nothing of an earlier replay in this process may reach this one: the
    // services it installed were locals of its own call.
    resetPlatform();
    resetToProgramStart();
    FakeWindowSystem windows;
    ScriptedKeys keys;
    FakeClock clock;
    ReplayPlayer player(replay);
    // No display and no speaker: no one looks at a verifier's frames, and
    // recording each frame's drawing cost a tenth of the work.
    installPlatform(player.wrap({&windows, &keys, nullptr, nullptr, &clock}));
    Verdict v;
    if (createGameWindow(nullptr) && gameWindow->createMainWindow()) {
        while (!player.finished()) {
            player.step();
            // A ticket is one game: what follows the first game over is not
            // part of the run.
            if (gameWindow->startCountdown < 0 && gameState.shipDestroyed) break;
        }
        v.kind = Verdict::Reproduced;
        v.score = gameState.score;
        v.ticks = player.ticksPlayed();
    } else {
        v.error = "the game could not start";
    }
    shutDown();
    resetPlatform();
    return v;
}

int verifierMain() {
    std::string text;
    char buf[65536];
    for (;;) {
        const ssize_t n = read(0, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    Replay replay;
    std::string error, line;
    if (!parseReplay(text, replay, error)) {
        line = "error the replay is " + error + "\n";
    } else {
        const Verdict v = simulate(replay);
        line = v.kind == Verdict::Reproduced
                   ? "ok " + std::to_string(v.score) + " " + std::to_string(v.ticks) + "\n"
                   : "error " + v.error + "\n";
    }
    return write(3, line.data(), line.size()) == static_cast<ssize_t>(line.size()) ? 0 : 1;
}

Verifier::Verifier(const std::string& program, int workers, int waiting, VerifierLimits limits)
    : program_(open(program.c_str(), O_RDONLY | O_CLOEXEC)),
      workers_(workers),
      waitingMax_(waiting),
      limits_(limits) {
    if (program_ < 0)
        throw std::runtime_error("cannot open " + program +
                                 " to run as the verifier: " + std::strerror(errno));
}

Verifier::~Verifier() { close(program_); }

bool Verifier::enter() {
    std::unique_lock lock(mutex_);
    if (closed_ || running_ + waiting_ >= workers_ + waitingMax_) return false;
    ++waiting_;
    return true;
}

void Verifier::cancel() {
    std::lock_guard lock(mutex_);
    --waiting_;
}

Verdict Verifier::run(const std::string& text) {
    {
        std::unique_lock lock(mutex_);
        freed_.wait(lock, [this] { return closed_ || running_ < workers_; });
        --waiting_;
        if (closed_) {
            Verdict closed;
            closed.kind = Verdict::Closed;
            closed.error = "the server is stopping";
            return closed;
        }
        ++running_;
    }
    Verdict v = spawn(text);
    {
        std::lock_guard lock(mutex_);
        --running_;
    }
    freed_.notify_one();
    return v;
}

void Verifier::stop() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    freed_.notify_all();
}

namespace {

void setLimit(int resource, rlim_t value) {
    const rlimit r{value, value};
    setrlimit(resource, &r);
}

// A worker's limits; set in the child between its fork and its work.
struct WorkerLimits {
    rlim_t cpuSeconds;
    rlim_t memoryBytes;
};

// Only async-signal-safe calls here when the caller has other threads.
void limitWorker(const WorkerLimits& l) {
    setLimit(RLIMIT_CPU, l.cpuSeconds);
#ifndef VR_ASAN
    // The sanitizer's shadow memory needs terabytes of address space.
    setLimit(RLIMIT_AS, l.memoryBytes);
#endif
    setLimit(RLIMIT_CORE, 0);
    setLimit(RLIMIT_FSIZE, 0);
    setLimit(RLIMIT_NPROC, 0);
}

// The worker's descriptors: the replay on 0, nothing on 1 and 2, the
// verdict on 3, nothing else.
// `keep`, when not -1, stays open too (above 3).
void placeWorkerFds(int replay, int verdict, int keep = -1) {
    const int devnull = open("/dev/null", O_RDWR);
    // Out of the way first: either may already sit on 0 to 3.
    replay = fcntl(replay, F_DUPFD, 10);
    verdict = fcntl(verdict, F_DUPFD, 10);
    dup2(replay, 0);
    dup2(devnull, 1);
    dup2(devnull, 2);
    dup2(verdict, 3);
    if (keep < 4) {
        close_range(4, ~0u, 0);
        return;
    }
    if (keep > 4) close_range(4, static_cast<unsigned>(keep) - 1, 0);
    close_range(static_cast<unsigned>(keep) + 1, ~0u, 0);
}

// The zygote: a copy of the server made at start, before its first thread,
// that forks one worker per replay. A worker is then this program as it
// started, ready to play: no program file to load (the server's own loads
// some thirty libraries a worker never uses) and no later file either, so
// an upgrade that replaces the program cannot change the verdicts of the
// server running now. It holds no lock of another thread, so its children
// may run the game without an exec.
//
// The server asks over a datagram socket, one question at a time: start a
// worker on these two descriptors (the answer: its pid), or reap that pid
// (the answer: its wait status). A worker is reaped only when the server
// asks, so the server may kill its pid until then without hitting another
// process that got the number.
struct ZygoteAsk {
    enum Kind : int { Start, Reap } kind;
    int pid;
    WorkerLimits limits;
};

int zygoteSocket = -1;
std::mutex zygoteMutex;

[[noreturn]] void zygoteMain(int sock) {
    // The server stops it by going away (the socket's end), not by signals
    // meant for the server.
    signal(SIGINT, SIG_IGN);
    signal(SIGTERM, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    for (;;) {
        ZygoteAsk ask{};
        alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))];
        iovec iov{&ask, sizeof ask};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = recvmsg(sock, &msg, MSG_CMSG_CLOEXEC);
        if (n < 0 && errno == EINTR) continue;
        if (n != static_cast<ssize_t>(sizeof ask)) _exit(0);  // the server is gone
        int fds[2] = {-1, -1};
        const cmsghdr* c = CMSG_FIRSTHDR(&msg);
        if (c && c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS &&
            c->cmsg_len == CMSG_LEN(2 * sizeof(int)))
            std::memcpy(fds, CMSG_DATA(c), sizeof fds);
        int answer = -1;
        if (ask.kind == ZygoteAsk::Start && fds[0] >= 0) {
            answer = fork();
            if (answer == 0) {
                signal(SIGINT, SIG_DFL);
                signal(SIGTERM, SIG_DFL);
                signal(SIGPIPE, SIG_DFL);
                placeWorkerFds(fds[0], fds[1]);
                limitWorker(ask.limits);
                _exit(verifierMain());
            }
        } else if (ask.kind == ZygoteAsk::Reap && ask.pid > 0) {
            int status = 0;
            pid_t r;
            while ((r = waitpid(ask.pid, &status, 0)) < 0 && errno == EINTR) {
            }
            answer = r == ask.pid ? status : -1;
        }
        for (const int fd : fds)
            if (fd >= 0) close(fd);
        while (send(sock, &answer, sizeof answer, 0) < 0 && errno == EINTR) {
        }
    }
}

// One question to the zygote and its answer; false if it is gone.
bool askZygote(const ZygoteAsk& ask, const int* fds, int& answer) {
    std::lock_guard lock(zygoteMutex);
    if (zygoteSocket < 0) return false;
    alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))] = {};
    iovec iov{const_cast<ZygoteAsk*>(&ask), sizeof ask};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    if (fds) {
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(2 * sizeof(int));
        std::memcpy(CMSG_DATA(c), fds, 2 * sizeof(int));
    }
    ssize_t n;
    while ((n = sendmsg(zygoteSocket, &msg, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    if (n == static_cast<ssize_t>(sizeof ask)) {
        while ((n = recv(zygoteSocket, &answer, sizeof answer, 0)) < 0 && errno == EINTR) {
        }
        if (n == static_cast<ssize_t>(sizeof answer)) return true;
    }
    // Gone (or confused): from now on workers start from the program file.
    close(zygoteSocket);
    zygoteSocket = -1;
    return false;
}

}  // namespace

bool startWorkerZygote() {
    std::lock_guard lock(zygoteMutex);
    if (zygoteSocket >= 0) return true;
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return false;
    const pid_t pid = fork();
    if (pid == 0) {
        // Nothing of the server's but the socket: no listening socket, no
        // database, no terminal.
        const int devnull = open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        dup2(pair[1], 3);
        close_range(4, ~0u, 0);
        zygoteMain(3);
    }
    close(pair[1]);
    if (pid < 0) {
        close(pair[0]);
        return false;
    }
    zygoteSocket = pair[0];
    return true;
}

namespace {

// A worker from the program the server opened at start, for when the
// zygote is not there: the same image even if the file was replaced since.
pid_t execWorker(int program, int replay, int verdict, const WorkerLimits& limits) {
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec: the server has
        // other threads. The program's descriptor is kept above the worker's
        // four and closed by the exec itself.
        const int image = fcntl(program, F_DUPFD_CLOEXEC, 10);
        placeWorkerFds(replay, verdict, image);
        limitWorker(limits);
        char* const argv[] = {const_cast<char*>("voidrunner-server"),
                              const_cast<char*>("--verify-worker"), nullptr};
        if (image >= 0) fexecve(image, argv, environ);
        _exit(127);
    }
    return pid;
}

}  // namespace

Verdict Verifier::spawn(const std::string& text) {
    Verdict v;
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) {
        v.error = "no pipe for the verifier";
        return v;
    }
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        v.error = "no pipe for the verifier";
        return v;
    }
    const WorkerLimits limits{static_cast<rlim_t>(limits_.wallSeconds + 1),
                              static_cast<rlim_t>(limits_.memoryBytes)};
    int answer = -1;
    const int ends[2] = {in[0], out[1]};
    const bool forked = askZygote({ZygoteAsk::Start, 0, limits}, ends, answer) && answer > 0;
    const pid_t pid = forked ? answer : execWorker(program_, in[0], out[1], limits);
    close(in[0]);
    close(out[1]);
    if (pid < 0) {
        close(in[1]);
        close(out[0]);
        v.error = "no worker process";
        return v;
    }
    fcntl(in[1], F_SETFL, O_NONBLOCK);
    const auto deadline =
        std::chrono::steady_clock::now() +
        std::chrono::milliseconds(static_cast<long long>(limits_.wallSeconds * 1000));
    auto leftMs = [&] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        return static_cast<int>(std::max<long long>(0, left));
    };
    std::size_t sent = 0;
    std::string reply;
    bool timedOut = false;
    int inFd = in[1];
    while (true) {
        pollfd fds[2] = {{out[0], POLLIN, 0}, {inFd, POLLOUT, 0}};
        const int wait = leftMs();
        if (wait == 0) {
            timedOut = true;
            break;
        }
        const int n = poll(fds, inFd >= 0 ? 2 : 1, wait);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        if (inFd >= 0 && fds[1].revents) {
            const ssize_t w = write(inFd, text.data() + sent, text.size() - sent);
            if (w > 0) sent += static_cast<std::size_t>(w);
            if ((w < 0 && errno != EAGAIN && errno != EINTR) || sent == text.size()) {
                close(inFd);
                inFd = -1;
            }
        }
        if (fds[0].revents) {
            char buf[512];
            const ssize_t r = read(out[0], buf, sizeof buf);
            if (r < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (r <= 0 || reply.size() > 4096) break;
            reply.append(buf, static_cast<std::size_t>(r));
        }
    }
    if (inFd >= 0) close(inFd);
    close(out[0]);
    if (timedOut) kill(pid, SIGKILL);
    int status = 0;
    if (!forked || !askZygote({ZygoteAsk::Reap, pid, limits}, nullptr, status)) {
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    const bool killedForTime = timedOut || (WIFSIGNALED(status) && (WTERMSIG(status) == SIGXCPU ||
                                                                    WTERMSIG(status) == SIGKILL));
    if (killedForTime) {
        v.kind = Verdict::TooLong;
        v.error = "the replay took too long to verify";
        return v;
    }
    long long score = 0, ticks = 0;
    if (reply.rfind("ok ", 0) == 0 &&
        std::sscanf(reply.c_str(), "ok %lld %lld", &score, &ticks) == 2) {
        v.kind = Verdict::Reproduced;
        v.score = score;
        v.ticks = ticks;
    } else if (reply.rfind("error ", 0) == 0) {
        v.kind = Verdict::Refused;
        v.error = reply.substr(6, reply.find('\n') - 6);
    } else {
        v.error = "the verifier failed (status " + std::to_string(status) + ")";
    }
    return v;
}
