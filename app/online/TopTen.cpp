#include "app/online/TopTen.h"

#include <ctime>
#include <mutex>

#include "app/online/Json.h"
#include "app/online/Utf8.h"

namespace {

long long numberField(const JsonObject& o, const char* key) {
    const auto it = o.find(key);
    return it != o.end() && it->second.number > 0 ? it->second.number : 0;
}

}  // namespace

bool parseTopRows(const std::string& json, std::vector<TopRow>& rows, std::size_t most,
                  const std::string& me) {
    std::vector<JsonObject> objects;
    if (!parseJsonList(json, objects, most)) return false;
    rows.clear();
    for (const JsonObject& object : objects) {
        TopRow row;
        row.rank = static_cast<int>(rows.size()) + 1;
        if (const auto player = object.find("player"); player != object.end()) {
            row.player = shownName(player->second.text);
            row.mine = !me.empty() && utf8Of(player->second.text) == me;
        }
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

std::string utcToday() {
    const std::time_t t = std::time(nullptr);
    std::tm day{};
#ifdef _WIN32
    gmtime_s(&day, &t);
#else
    gmtime_r(&t, &day);
#endif
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &day);
    return text;
}

struct TopTen::Shared {
    std::mutex mutex;
    View view;
    unsigned generation = 0;  // of the latest fetch; older answers are dropped
    int pending = 0;
    unsigned answers = 0;
};

TopTen::TopTen() : shared_(std::make_shared<Shared>()) { configure(nullptr, {}); }

void TopTen::configure(HttpService* http, std::string server, std::string player, bool daily) {
    http_ = http;
    server_ = std::move(server);
    player_ = std::move(player);
    daily_ = daily;
    while (!server_.empty() && server_.back() == '/') server_.pop_back();
    std::lock_guard lock(shared_->mutex);
    shared_->view = View{};
    shared_->view.status = !http_            ? Status::NoNetwork
                           : server_.empty() ? Status::NoLeaderboard
                                             : Status::Loading;
}

void TopTen::fetch() {
    if (!http_ || server_.empty()) return;
    enum Ask { Global, Today, Mine };
    std::vector<Ask> asks = {Global, Today};
    if (!player_.empty()) asks.push_back(Mine);
    const std::string day = utcToday();
    unsigned generation = 0;
    {
        std::lock_guard lock(shared_->mutex);
        generation = ++shared_->generation;
        shared_->pending = static_cast<int>(asks.size());
        shared_->view.status = Status::Loading;
        shared_->view.why.clear();
        shared_->view.todayTitle = (daily_ ? "Daily run, " : "Today, ") + day;
    }
    const std::shared_ptr<Shared> shared = shared_;
    const std::string me = player_;
    for (const Ask ask : asks) {
        // Behind any run, and dropped when the game ends.
        HttpRequest request;
        request.method = "GET";
        request.url = server_ + (ask == Global ? "/api/v1/top?limit=10"
                                 : ask == Mine ? "/api/v1/players/" + percentEncoded(me)
                                 : daily_      ? "/api/v1/daily/top?limit=10&day=" + day
                                               : "/api/v1/top?limit=10&day=" + day);
        request.background = true;
        const bool daily = daily_;
        http_->request(request, [shared, generation, ask, me, daily](const HttpReply& r) {
            std::vector<TopRow> rows;
            JsonObject mine;
            std::string why;
            if (r.status == 0)
                why = "Offline: the leaderboard cannot be reached";
            else if (ask == Mine && r.status == 404)
                ;                      // no run yet
            else if (r.status == 404)  // a page served without a leaderboard behind it
                why = "No leaderboard answers at this address";
            else if (r.status != 200)
                why = "The leaderboard answered with status " + std::to_string(r.status);
            else if (ask == Mine ? !parseJsonObject(r.body, mine)
                                 : !parseTopRows(r.body, rows, 10, me))
                why = "The leaderboard's answer cannot be read";
            std::lock_guard lock(shared->mutex);
            if (generation != shared->generation) return;
            --shared->pending;
            ++shared->answers;
            View& v = shared->view;
            if (!why.empty()) {
                v.status = Status::Failed;
                v.why = why;
            } else if (ask == Mine) {
                v.best = {numberField(mine, "bestScore"), numberField(mine, "bestRank")};
                const char* second = daily ? "daily" : "today";
                v.bestToday = {numberField(mine, (std::string(second) + "Score").c_str()),
                               numberField(mine, (std::string(second) + "Rank").c_str())};
            } else {
                (ask == Global ? v.global : v.today) = std::move(rows);
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
