#include "Players.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <unicode/ucasemap.h>
#include <unicode/uspoof.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "Tickets.h"

namespace {

// One checker for every thread: reading a skeleton changes nothing in it.
USpoofChecker* spoofChecker() {
    static USpoofChecker* const checker = [] {
        UErrorCode status = U_ZERO_ERROR;
        USpoofChecker* c = uspoof_open(&status);
        if (U_FAILURE(status)) throw std::runtime_error("ICU has no confusables data");
        return c;
    }();
    return checker;
}

UCaseMap* caseMap() {
    static UCaseMap* const map = [] {
        UErrorCode status = U_ZERO_ERROR;
        UCaseMap* m = ucasemap_open("", 0, &status);
        if (U_FAILURE(status)) throw std::runtime_error("ICU cannot fold case");
        return m;
    }();
    return map;
}

// An ICU call that writes UTF-8, with room made when it asks for more.
template <class F>
std::string icuText(F call) {
    std::string out(64, '\0');
    for (int tries = 0; tries < 2; ++tries) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t n = call(out.data(), static_cast<int32_t>(out.size()), &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.assign(static_cast<std::size_t>(n) + 1, '\0');
            continue;
        }
        if (U_FAILURE(status)) return {};
        out.resize(static_cast<std::size_t>(n));
        return out;
    }
    return {};
}

}  // namespace

std::string newPlayerKey() {
    unsigned char bytes[32];
    if (RAND_bytes(bytes, sizeof bytes) != 1) throw std::runtime_error("no random bytes for a key");
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string key;
    unsigned bits = 0;
    int have = 0;
    for (const unsigned char b : bytes) {
        bits = bits << 8 | b;
        have += 8;
        while (have >= 6) {
            have -= 6;
            key += digits[(bits >> have) & 63];
        }
    }
    if (have > 0) key += digits[(bits << (6 - have)) & 63];
    return key;
}

std::string playerKeyHash(std::string_view key) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(key.data(), key.size(), digest, &n, EVP_sha256(), nullptr);
    return hexOf(digest, n);
}

bool playerKeyMatches(std::string_view key, const std::string& hash) {
    const std::string mine = playerKeyHash(key);
    return mine.size() == hash.size() && CRYPTO_memcmp(mine.data(), hash.data(), mine.size()) == 0;
}

std::string nameFold(std::string_view name) {
    const std::string folded = icuText([&](char* out, int32_t room, UErrorCode* status) {
        return ucasemap_utf8FoldCase(caseMap(), out, room, name.data(),
                                     static_cast<int32_t>(name.size()), status);
    });
    return icuText([&](char* out, int32_t room, UErrorCode* status) {
        return uspoof_getSkeletonUTF8(spoofChecker(), 0, folded.data(),
                                      static_cast<int32_t>(folded.size()), out, room, status);
    });
}

std::string reviewFlags(const std::string& replay, long long pausedMs) {
    std::istringstream in(replay);
    std::string line, keys = "-", held = "-";
    long long ticks = 0;
    int streak = 0, longest = 0;
    bool changed = false;
    while (std::getline(in, line)) {
        if (line.rfind("keys ", 0) == 0) {
            keys = line.substr(5);
            changed = changed || keys != held;
        } else if (line.rfind("tick", 0) == 0) {
            const long long n = line.size() > 5 ? std::atoll(line.c_str() + 5) : 1;
            if (n <= 0) continue;
            ticks += n;
            streak = changed && keys != held ? streak + 1 : 0;
            if (streak > longest) longest = streak;
            if (n > 1) streak = 0;
            held = keys;
            changed = false;
        }
    }
    std::string flags;
    if (longest >= kChangeStreakFlagged)
        flags = "keys changed on each of " + std::to_string(longest) + " ticks in a row";
    const long long playMs = ticks * 62;
    if (playMs >= kUnpausedFlaggedMs && pausedMs < 60000) {
        char text[96];
        std::snprintf(text, sizeof text, "%lld h %02lld min of play without a pause",
                      playMs / 3600000, playMs / 60000 % 60);
        flags += (flags.empty() ? "" : "; ") + std::string(text);
    }
    return flags;
}
