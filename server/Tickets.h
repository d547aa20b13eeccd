// Tickets: before a ranked or daily game the client gets a seed chosen here,
// the time it was issued and a MAC over both, so a run can only be played
// from the moment the server gave out its seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

struct Ticket {
    bool daily = false;
    std::string day;  // the UTC day of a daily ticket, "2026-12-08"; "-" for ranked
    uint32_t seed = 0;
    long long issuedMs = 0;
    std::string nonce;  // 16 hex digits, what makes a ticket single use
};

class TicketKey {
public:
    // Reads the key file, or makes one with a fresh random key (owner-only)
    // when there is none and `make` allows. Throws std::runtime_error with a
    // reason.
    static TicketKey load(const std::string& path, bool make = true);
    explicit TicketKey(std::string bytes) : key_(std::move(bytes)) {}

    Ticket issue(bool daily, long long nowMs) const;
    std::string encode(const Ticket& t) const;
    // False for anything this key did not sign.
    bool decode(const std::string& text, Ticket& out) const;
    // The day's seed: the same for everyone, unknown before the day.
    uint32_t dailySeed(const std::string& day) const;
    // Names the key without giving it away: the database keeps it, so a
    // server with another key is caught before it signs a ticket.
    std::string fingerprint() const;

private:
    std::string mac(const std::string& message) const;
    std::string key_;
};

// Bytes as lowercase hex digits.
std::string hexOf(const unsigned char* bytes, std::size_t n);

// "YYYY-MM-DD" of a Unix time in milliseconds.
std::string utcDay(long long ms);
// True for a real calendar day written as utcDay writes it.
bool isDay(const std::string& day);

// Requests per client: a bucket of `burst` tokens refilled at `perMinute`.
class RateLimiter {
public:
    RateLimiter(double perMinute, double burst) : rate_(perMinute / 60000.0), burst_(burst) {}
    bool allow(const std::string& client, long long nowMs);

private:
    struct Bucket {
        double tokens;
        long long atMs;
    };
    std::mutex mutex_;
    std::unordered_map<std::string, Bucket> buckets_;
    double rate_;
    double burst_;
};
