#include "Tickets.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <vector>

namespace {

constexpr std::size_t kKeyBytes = 32;

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = s.find(sep, start);
        parts.push_back(s.substr(start, at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

bool digitsOnly(const std::string& s, std::size_t maxLen) {
    if (s.empty() || s.size() > maxLen) return false;
    for (const char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

std::string hexOf(const unsigned char* p, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

TicketKey TicketKey::load(const std::string& path, bool make) {
    unsigned char bytes[kKeyBytes];
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && make) {
        if (RAND_bytes(bytes, sizeof bytes) != 1)
            throw std::runtime_error("no random bytes for a new key");
        // Written whole under a name of its own, then linked into place: two
        // servers starting at once keep one key between them, and neither
        // reads the other's half-written file.
        std::string temp = path + ".XXXXXX";
        const int out = mkostemp(temp.data(), O_CLOEXEC);
        if (out < 0)
            throw std::runtime_error("cannot create the key file " + path + ": " +
                                     std::strerror(errno));
        const bool ok = write(out, bytes, sizeof bytes) == static_cast<ssize_t>(sizeof bytes);
        const bool closed = close(out) == 0;
        const int linked = ok && closed ? link(temp.c_str(), path.c_str()) : -1;
        const int why = errno;
        unlink(temp.c_str());
        if (!ok || !closed) throw std::runtime_error("cannot write the key file " + path);
        if (linked != 0 && why != EEXIST)
            throw std::runtime_error("cannot create the key file " + path + ": " +
                                     std::strerror(why));
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0)
        throw std::runtime_error("cannot read the key file " + path + ": " + std::strerror(errno));
    const ssize_t n = read(fd, bytes, sizeof bytes);
    close(fd);
    if (n != static_cast<ssize_t>(sizeof bytes))
        throw std::runtime_error("the key file " + path + " does not hold a key (32 bytes)");
    return TicketKey(std::string(reinterpret_cast<char*>(bytes), sizeof bytes));
}

std::string TicketKey::mac(const std::string& message) const {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    HMAC(EVP_sha256(), key_.data(), static_cast<int>(key_.size()),
         reinterpret_cast<const unsigned char*>(message.data()), message.size(), out, &len);
    return std::string(reinterpret_cast<char*>(out), len);
}

uint32_t TicketKey::dailySeed(const std::string& day) const {
    const std::string m = mac("daily " + day);
    uint32_t seed = 0;
    for (int i = 0; i < 4; ++i)
        seed = seed << 8 | static_cast<unsigned char>(m[static_cast<std::size_t>(i)]);
    return seed;
}

std::string TicketKey::fingerprint() const {
    const std::string m = mac("key fingerprint");
    return hexOf(reinterpret_cast<const unsigned char*>(m.data()), 16);
}

Ticket TicketKey::issue(bool daily, long long nowMs) const {
    Ticket t;
    t.daily = daily;
    t.issuedMs = nowMs;
    unsigned char r[12];
    if (RAND_bytes(r, sizeof r) != 1) throw std::runtime_error("no random bytes for a ticket");
    t.nonce = hexOf(r, 8);
    if (daily) {
        t.day = utcDay(nowMs);
        t.seed = dailySeed(t.day);
    } else {
        t.day.assign(1, '-');  // not = "-": GCC 12 at -O3 warns falsely (-Wrestrict)
        t.seed = static_cast<uint32_t>(r[8]) << 24 | static_cast<uint32_t>(r[9]) << 16 |
                 static_cast<uint32_t>(r[10]) << 8 | r[11];
    }
    return t;
}

std::string TicketKey::encode(const Ticket& t) const {
    const std::string body = std::string(t.daily ? "d" : "r") + "." + t.day + "." +
                             std::to_string(t.seed) + "." + std::to_string(t.issuedMs) + "." +
                             t.nonce;
    const std::string m = mac(body);
    return body + "." + hexOf(reinterpret_cast<const unsigned char*>(m.data()), m.size());
}

bool TicketKey::decode(const std::string& text, Ticket& out) const {
    if (text.size() > 200) return false;
    const auto parts = split(text, '.');
    if (parts.size() != 6) return false;
    const std::string body = text.substr(0, text.rfind('.'));
    const std::string m = mac(body);
    const std::string want = hexOf(reinterpret_cast<const unsigned char*>(m.data()), m.size());
    if (parts[5].size() != want.size() ||
        CRYPTO_memcmp(parts[5].data(), want.data(), want.size()) != 0)
        return false;
    // Signed by this key, so well formed; checked anyway, a key may leak.
    if ((parts[0] != "d" && parts[0] != "r") || !digitsOnly(parts[2], 10) ||
        !digitsOnly(parts[3], 15) || parts[4].size() != 16)
        return false;
    Ticket t;
    t.daily = parts[0] == "d";
    t.day = parts[1];
    if (t.daily != isDay(t.day)) return false;
    const unsigned long long seed = std::stoull(parts[2]);
    if (seed > UINT32_MAX) return false;
    t.seed = static_cast<uint32_t>(seed);
    t.issuedMs = std::stoll(parts[3]);
    t.nonce = parts[4];
    out = t;
    return true;
}

std::string utcDay(long long ms) {
    const std::time_t s = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    gmtime_r(&s, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
    return buf;
}

bool isDay(const std::string& day) {
    if (day.size() != 10 || day[4] != '-' || day[7] != '-') return false;
    std::tm tm{};
    const char* end = strptime(day.c_str(), "%Y-%m-%d", &tm);
    if (!end || *end) return false;
    // strptime takes 02-31; the round trip through timegm does not.
    return utcDay(static_cast<long long>(timegm(&tm)) * 1000) == day;
}

bool RateLimiter::allow(const std::string& client, long long nowMs) {
    std::lock_guard lock(mutex_);
    // Full buckets carry nothing: drop them now and then, so clients that
    // come and go do not grow the map.
    if (buckets_.size() > 100000) {
        for (auto it = buckets_.begin(); it != buckets_.end();)
            it =
                (it->second.tokens + static_cast<double>(nowMs - it->second.atMs) * rate_ >= burst_)
                    ? buckets_.erase(it)
                    : std::next(it);
    }
    auto [it, fresh] = buckets_.try_emplace(client, Bucket{burst_, nowMs});
    Bucket& b = it->second;
    if (!fresh) {
        b.tokens = std::min(burst_, b.tokens + static_cast<double>(nowMs - b.atMs) * rate_);
        b.atMs = nowMs;
    }
    if (b.tokens < 1.0) return false;
    b.tokens -= 1.0;
    return true;
}
