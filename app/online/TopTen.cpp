#include "app/online/TopTen.h"

#include <mutex>

#include "app/online/Json.h"

bool parseTopRows(const std::string& json, std::vector<TopRow>& rows, std::size_t most) {
    std::vector<JsonObject> objects;
    if (!parseJsonList(json, objects, most)) return false;
    rows.clear();
    for (const JsonObject& object : objects) {
        TopRow row;
        row.rank = static_cast<int>(rows.size()) + 1;
        if (const auto player = object.find("player"); player != object.end())
            row.player = shownName(player->second.text);
        if (const auto score = object.find("score");
            score != object.end() && score->second.number >= 0)
            row.score = score->second.number;
        rows.push_back(row);
    }
    return true;
}

std::string shownName(const std::u32string& name) {
    std::string out;
    for (const char32_t c : name) {
        if (out.size() == kShownNameLength) break;
        // Latin-1 is what the game's texts are drawn from; its soft hyphen
        // and no-break space draw as nothing.
        if ((c >= 0x20 && c < 0x7F) || (c >= 0xA1 && c <= 0xFF && c != 0xAD))
            out += static_cast<char>(c);
        else
            out += '?';
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    while (!out.empty() && out.front() == ' ') out.erase(out.begin());
    return out.empty() ? "?" : out;
}

struct TopTen::Shared {
    std::mutex mutex;
    View view;
    unsigned generation = 0;  // of the latest fetch; older answers are dropped
    int pending = 0;
    unsigned answers = 0;
};

TopTen::TopTen() : shared_(std::make_shared<Shared>()) { configure(nullptr, {}); }

void TopTen::configure(HttpService* http, std::string server) {
    http_ = http;
    server_ = std::move(server);
    while (!server_.empty() && server_.back() == '/') server_.pop_back();
    std::lock_guard lock(shared_->mutex);
    shared_->view = View{};
    shared_->view.status = !http_            ? Status::NoNetwork
                           : server_.empty() ? Status::NoLeaderboard
                                             : Status::Loading;
}

void TopTen::fetch() {
    if (!http_ || server_.empty()) return;
    unsigned generation = 0;
    {
        std::lock_guard lock(shared_->mutex);
        generation = ++shared_->generation;
        shared_->pending = 2;
        shared_->view.status = Status::Loading;
        shared_->view.why.clear();
    }
    const std::shared_ptr<Shared> shared = shared_;
    for (const bool daily : {false, true}) {
        const std::string url = server_ + (daily ? "/api/v1/daily/top" : "/api/v1/top") +
                                "?limit=10";
        // Behind any run, and dropped when the game ends.
        HttpRequest request;
        request.method = "GET";
        request.url = url;
        request.background = true;
        http_->request(request, [shared, generation, daily](const HttpReply& r) {
            std::vector<TopRow> rows;
            std::string why;
            if (r.status == 0)
                why = "Offline: the leaderboard cannot be reached";
            else if (r.status == 404)  // a page served without a leaderboard behind it
                why = "No leaderboard answers at this address";
            else if (r.status != 200)
                why = "The leaderboard answered with status " + std::to_string(r.status);
            else if (!parseTopRows(r.body, rows))
                why = "The leaderboard's answer cannot be read";
            std::lock_guard lock(shared->mutex);
            if (generation != shared->generation) return;
            --shared->pending;
            ++shared->answers;
            View& v = shared->view;
            if (why.empty()) {
                (daily ? v.daily : v.global) = std::move(rows);
            } else {
                v.status = Status::Failed;
                v.why = why;
            }
            if (shared->pending == 0 && v.status == Status::Loading) v.status = Status::Ready;
        });
    }
}

TopTen::View TopTen::view() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->view;
}

TopTen::Progress TopTen::progress() const {
    std::lock_guard lock(shared_->mutex);
    return {shared_->answers, shared_->pending > 0};
}
