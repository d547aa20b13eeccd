#include "JsonWriter.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

void JsonWriter::raw(std::string_view s) {
    while (!s.empty()) {
        if (used == kSize) flush();
        const std::size_t n = std::min(s.size(), kSize - used);
        std::memcpy(buf + used, s.data(), n);
        used += n;
        s.remove_prefix(n);
    }
}

void JsonWriter::integer(long long v) {
    reserve(24);
    used = static_cast<std::size_t>(std::to_chars(buf + used, buf + kSize, v).ptr - buf);
}

void JsonWriter::number(float v) {
    if (std::isnan(v)) return raw("\"nan\"");
    if (std::isinf(v)) return raw(v > 0 ? "\"inf\"" : "\"-inf\"");
    // to_chars with a precision is defined as printf's %.9g, only faster.
    reserve(32);
#if defined(__cpp_lib_to_chars)
    used = static_cast<std::size_t>(std::to_chars(buf + used, buf + kSize, static_cast<double>(v),
                                                  std::chars_format::general, 9)
                                        .ptr -
                                    buf);
#else
    // Standard libraries without floating-point to_chars (the browser
    // build's) take the printf it stands for.
    used += static_cast<std::size_t>(
        std::snprintf(buf + used, kSize - used, "%.9g", static_cast<double>(v)));
#endif
}

void JsonWriter::string(std::string_view s) {
    static const char hex[] = "0123456789abcdef";
    put('"');
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': raw("\\\""); break;
        case '\\': raw("\\\\"); break;
        case '\n': raw("\\n"); break;
        case '\r': raw("\\r"); break;
        case '\t': raw("\\t"); break;
        case '\b': raw("\\b"); break;
        case '\f': raw("\\f"); break;
        default:
            // Game texts are single bytes; bytes from 128 up are read as
            // Latin-1 so that the line stays valid UTF-8.
            if (c < 0x20 || c >= 0x7F) {
                reserve(6);
                buf[used++] = '\\';
                buf[used++] = 'u';
                buf[used++] = '0';
                buf[used++] = '0';
                buf[used++] = hex[c >> 4];
                buf[used++] = hex[c & 15];
            } else {
                put(ch);
            }
        }
    }
    put('"');
}

void JsonWriter::colour(Rgb c) {
    static const char hex[] = "0123456789abcdef";
    reserve(8);
    buf[used++] = '"';
    for (uint8_t v : {c.r, c.g, c.b}) {
        buf[used++] = hex[v >> 4];
        buf[used++] = hex[v & 15];
    }
    buf[used++] = '"';
}

void JsonWriter::endLine() { put('\n'); }

void JsonWriter::flush() {
    if (held) {
        held->append(buf, used);
        used = 0;
        return;
    }
    errno = 0;
    const bool written = !used || std::fwrite(buf, 1, used, out) == used;
    used = 0;
    if ((!written || std::fflush(out) != 0) && !bad) {
        bad = true;
        errorCode = errno;
    }
}
