#include "app/online/TopTen.h"

#include <cctype>
#include <mutex>

namespace {

// Reads the server's JSON: a list of flat objects whose values are
// strings, whole numbers, true, false or null. Strings come out as code
// points, so a name is judged by what it says, not by its bytes.
class JsonReader {
public:
    explicit JsonReader(const std::string& text) : s(text) {}

    bool list(std::vector<TopRow>& rows, std::size_t most) {
        if (!take('[')) return false;
        if (take(']')) return end();
        do {
            TopRow row;
            if (!object(row)) return false;
            if (rows.size() < most) {
                row.rank = static_cast<int>(rows.size()) + 1;
                rows.push_back(row);
            }
        } while (take(','));
        return take(']') && end();
    }

private:
    bool object(TopRow& row) {
        if (!take('{')) return false;
        if (take('}')) return true;
        do {
            std::u32string key, text;
            long long number = -1;
            if (!string(key) || !take(':')) return false;
            skip();
            if (at < s.size() && s[at] == '"') {
                if (!string(text)) return false;
            } else if (!scalar(number)) {
                return false;
            }
            if (key == U"player") row.player = shownName(text);
            if (key == U"score" && number >= 0) row.score = number;
        } while (take(','));
        return take('}');
    }

    // A number (whole, not negative, kept; others read and dropped) or a
    // word; -1 when it is not a number we keep.
    bool scalar(long long& number) {
        for (const char* word : {"true", "false", "null"}) {
            const std::string w = word;
            if (s.compare(at, w.size(), w) == 0) {
                at += w.size();
                return true;
            }
        }
        const std::size_t start = at;
        long long value = 0;
        bool whole = true;
        while (at < s.size() && (std::isdigit(static_cast<unsigned char>(s[at])) || s[at] == '-' ||
                                 s[at] == '+' || s[at] == '.' || s[at] == 'e' || s[at] == 'E')) {
            if (!std::isdigit(static_cast<unsigned char>(s[at])) || value > 1'000'000'000'000LL)
                whole = false;
            else
                value = value * 10 + (s[at] - '0');
            ++at;
        }
        if (at == start) return false;
        number = whole ? value : -1;
        return true;
    }

    bool string(std::u32string& out) {
        if (!take('"')) return false;
        while (at < s.size()) {
            const auto c = static_cast<unsigned char>(s[at++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c == '\\') {
                if (at >= s.size()) return false;
                const char e = s[at++];
                switch (e) {
                case '"': out += U'"'; break;
                case '\\': out += U'\\'; break;
                case '/': out += U'/'; break;
                case 'b': out += U'\b'; break;
                case 'f': out += U'\f'; break;
                case 'n': out += U'\n'; break;
                case 'r': out += U'\r'; break;
                case 't': out += U'\t'; break;
                case 'u': {
                    char32_t unit = 0;
                    if (!hex4(unit)) return false;
                    // Halves of a pair, or alone: either way not drawn.
                    out += unit;
                    break;
                }
                default: return false;
                }
            } else if (c < 0x80) {
                out += static_cast<char32_t>(c);
            } else {
                out += utf8(c);
            }
        }
        return false;
    }

    // The rest of a UTF-8 sequence begun by `lead`; U+FFFD when it is not one.
    char32_t utf8(unsigned char lead) {
        const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        if (extra == 0 || lead > 0xF4) return 0xFFFD;
        char32_t cp = lead & (0x3F >> extra);
        for (int k = 0; k < extra; ++k) {
            if (at >= s.size() || (static_cast<unsigned char>(s[at]) & 0xC0) != 0x80) return 0xFFFD;
            cp = cp << 6 | (static_cast<unsigned char>(s[at++]) & 0x3Fu);
        }
        return cp;
    }

    bool hex4(char32_t& out) {
        if (at + 4 > s.size()) return false;
        for (int i = 0; i < 4; ++i) {
            const char h = s[at++];
            out <<= 4;
            if (h >= '0' && h <= '9')
                out |= static_cast<char32_t>(h - '0');
            else if (h >= 'a' && h <= 'f')
                out |= static_cast<char32_t>(h - 'a' + 10);
            else if (h >= 'A' && h <= 'F')
                out |= static_cast<char32_t>(h - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    void skip() {
        while (at < s.size() && (s[at] == ' ' || s[at] == '\n' || s[at] == '\r' || s[at] == '\t'))
            ++at;
    }
    bool take(char c) {
        skip();
        if (at >= s.size() || s[at] != c) return false;
        ++at;
        return true;
    }
    bool end() {
        skip();
        return at == s.size();
    }

    const std::string& s;
    std::size_t at = 0;
};

}  // namespace

bool parseTopRows(const std::string& json, std::vector<TopRow>& rows, std::size_t most) {
    std::vector<TopRow> read;
    if (!JsonReader(json).list(read, most)) return false;
    rows = std::move(read);
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
        http_->send("GET", url, "", [shared, generation, daily](const HttpReply& r) {
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
