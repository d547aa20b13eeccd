// A small, fast JSON line writer for the trace: one large buffer, written
// out with fwrite when it fills. Thousands of lines a second must not cost
// more than the simulation does.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/Platform.h"

class JsonWriter {
public:
    explicit JsonWriter(std::FILE* to) : out(to) {}
    // Collects the text in `to` instead: the caller sends it on later.
    explicit JsonWriter(std::string* to) : held(to) {}
    ~JsonWriter() { flush(); }
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    void raw(std::string_view s);
    void put(char c) {
        if (used == kSize) flush();
        buf[used++] = c;
    }
    void integer(long long v);
    // %.9g of the value as a double; non-finite values as strings.
    void number(float v);
    void string(std::string_view s);
    // "rrggbb"
    void colour(Rgb c);
    // Ends the line; the buffer goes out when it is nearly full.
    void endLine();
    void flush();
    // Set once a write or flush has failed (a full disk, a closed pipe);
    // error() is the errno it failed with.
    bool failed() const { return bad; }
    int error() const { return errorCode; }

private:
    static constexpr std::size_t kSize = 1 << 18;
    void reserve(std::size_t n) {
        if (kSize - used < n) flush();
    }

    std::FILE* out = nullptr;
    std::string* held = nullptr;
    char buf[kSize];
    std::size_t used = 0;
    bool bad = false;
    int errorCode = 0;
};
