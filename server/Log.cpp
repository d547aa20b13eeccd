#include "Log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

#include "app/online/Utf8.h"

LogField::LogField(std::string_view k, double v) : key(k) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    value = buf;
}

namespace {

void appendValue(std::string& out, const std::string& v) {
    const bool utf8 = validUtf8(v);
    bool quote = v.empty();
    for (const char ch : v)
        if (ch == ' ' || ch == '"' || ch == '=' || ch == '\\') quote = true;
    if (quote) out += '"';
    for (const char ch : v) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c == 0x7f || (c >= 0x80 && !utf8)) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    if (quote) out += '"';
}

// systemd sets JOURNAL_STREAM to the device and inode of the stream it
// gave the service; a stderr redirected elsewhere is not the journal.
bool toJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (!stream) return false;
    unsigned long long dev = 0, ino = 0;
    struct stat st {};
    return std::sscanf(stream, "%llu:%llu", &dev, &ino) == 2 && fstat(2, &st) == 0 &&
           static_cast<unsigned long long>(st.st_dev) == dev &&
           static_cast<unsigned long long>(st.st_ino) == ino;
}

}  // namespace

std::string isoTime(long long ms, bool millis) {
    const std::time_t secs = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    gmtime_r(&secs, &tm);
    char buf[40];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    std::string out = buf;
    if (millis) {
        std::snprintf(buf, sizeof buf, ".%03lld", ms % 1000);
        out += buf;
    }
    return out + "Z";
}

std::string logLine(std::string_view event, const std::vector<LogField>& fields) {
    std::string line = "event=";
    appendValue(line, std::string(event));
    for (const LogField& f : fields) {
        line += ' ';
        line += f.key;
        line += '=';
        appendValue(line, f.value);
    }
    return line;
}

void logEvent(LogLevel level, std::string_view event, const std::vector<LogField>& fields) {
    static const bool journal = toJournal();
    static std::mutex mutex;
    const char* name = level == LogLevel::Info      ? "info"
                       : level == LogLevel::Warning ? "warning"
                                                    : "error";
    std::string line;
    if (journal) {
        // sd-daemon's priorities: 6 info, 4 warning, 3 error.
        line = level == LogLevel::Info ? "<6>" : level == LogLevel::Warning ? "<4>" : "<3>";
    } else {
        const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count();
        line = "ts=" + isoTime(ms) + " ";
    }
    line += "level=";
    line += name;
    line += ' ';
    line += logLine(event, fields);
    line += '\n';
    // One write a line, so lines of several threads never interleave.
    std::lock_guard lock(mutex);
    for (std::size_t done = 0; done < line.size();) {
        const ssize_t n = write(2, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
}
