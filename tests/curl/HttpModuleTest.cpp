// The game's HTTP client is a module loaded from the program's folder at
// the first request: without it, or with a file that is no module of this
// game's, every request is answered with the reason and nothing crashes;
// with it, requests go out through libcurl and the end of the game still
// gives up a fetch under way.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "platform/curl/ModuleHttp.h"
#include "tests/WorkFolder.h"

namespace {

// One connection on a free port of 127.0.0.1: answered with `reply`, or,
// when that is empty, held without an answer until the test ends.
class OneAnswer {
public:
    explicit OneAnswer(std::string reply) : reply_(std::move(reply)) {
        listener_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof at;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&at), size) != 0 ||
            listen(listener_, 1) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size) != 0)
            return;
        url = "http://127.0.0.1:" + std::to_string(ntohs(at.sin_port)) + "/";
        thread_ = std::thread([this] { serve(); });
    }
    ~OneAnswer() {
        done_ = true;
        shutdown(listener_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        close(listener_);
    }
    std::string url;
    std::atomic<bool> asked{false};  // the request has come

private:
    void serve() {
        const int peer = accept(listener_, nullptr, nullptr);
        if (peer < 0) return;
        std::string request;
        char buffer[1024];
        ssize_t n = 0;
        while (request.find("\r\n\r\n") == std::string::npos &&
               (n = read(peer, buffer, sizeof buffer)) > 0)
            request.append(buffer, static_cast<std::size_t>(n));
        asked = true;
        if (!reply_.empty()) {
            [[maybe_unused]] const ssize_t sent = write(peer, reply_.data(), reply_.size());
        } else {
            while (!done_) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        close(peer);
    }
    std::string reply_;
    int listener_ = -1;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

TEST(HttpModule, MissingOrForeignModuleAnswersWhyAndNothingElse) {
    WorkFolder work;
    const std::string folder = work.path().string();
    EXPECT_FALSE(ModuleHttp::installed(folder));
    {
        ModuleHttp http(folder);
        for (int i = 0; i < 2; ++i) {
            const HttpReply r = http.sendAndWait("POST", "http://127.0.0.1:1/api/v1/tickets", "");
            EXPECT_EQ(r.status, 0);
            EXPECT_NE(r.error.find("not installed: no " + ModuleHttp::path(folder)),
                      std::string::npos)
                << r.error;
        }
    }
    std::ofstream(ModuleHttp::path(folder)) << "not a module";
    EXPECT_TRUE(ModuleHttp::installed(folder));
    ModuleHttp http(folder);
    const HttpReply r = http.sendAndWait("GET", "http://127.0.0.1:1/", "");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.error.find("online play cannot be loaded"), std::string::npos) << r.error;
}

TEST(HttpModule, TheBuiltModuleSendsAndTheEndGivesUpAFetch) {
    ASSERT_TRUE(ModuleHttp::installed(VR_MODULE_FOLDER));
    OneAnswer server("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello");
    OneAnswer hung("");
    ASSERT_FALSE(server.url.empty() || hung.url.empty());
    std::promise<HttpReply> given;
    {
        ModuleHttp http(VR_MODULE_FOLDER);
        const HttpReply r = http.sendAndWait("GET", server.url, "");
        EXPECT_EQ(r.status, 200) << r.error;
        EXPECT_EQ(r.body, "hello");
        HttpRequest fetch;
        fetch.method = "GET";
        fetch.url = hung.url;
        fetch.background = true;
        http.request(fetch, [&given](const HttpReply& reply) { given.set_value(reply); });
        while (!hung.asked) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Inside the module, libcurl saw the worker's flag: not its own timeout.
    EXPECT_EQ(given.get_future().get().error, "the game ended first");
}

}  // namespace
