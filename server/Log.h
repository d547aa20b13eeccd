// The server's log: one line an event on stderr, as key=value pairs
// (logfmt), for a person to read and a program to parse. Under systemd
// (stderr is the journal's stream) journald stamps each line itself and
// takes its priority from the "<N>" prefix; elsewhere a line starts with
// its time.
#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

enum class LogLevel { Info, Warning, Error };

struct LogField {
    std::string_view key;
    std::string value;
    LogField(std::string_view k, std::string_view v) : key(k), value(v) {}
    LogField(std::string_view k, const char* v) : key(k), value(v ? v : "") {}
    LogField(std::string_view k, const std::string& v) : key(k), value(v) {}
    template <class N, class = std::enable_if_t<std::is_integral_v<N>>>
    LogField(std::string_view k, N v) : key(k), value(std::to_string(v)) {}
    LogField(std::string_view k, double v);
};

// `event=NAME key=value ...`: a value is quoted when it holds a space, a
// quote, an equals sign or nothing, and bytes a terminal or a parser could
// trip on (controls, broken UTF-8) are written \xHH.
std::string logLine(std::string_view event, const std::vector<LogField>& fields);
void logEvent(LogLevel level, std::string_view event, const std::vector<LogField>& fields);

// "2026-12-08T15:04:26.123Z" of a Unix time in milliseconds; without the
// milliseconds when `millis` is false.
std::string isoTime(long long ms, bool millis = true);
