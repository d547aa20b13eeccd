#include "Metrics.h"

#include <cmath>
#include <cstdio>

namespace {

std::string number(double v) {
    if (std::isinf(v)) return v > 0 ? "+Inf" : "-Inf";
    char buf[32];
    if (v == std::floor(v) && std::fabs(v) < 1e15)
        std::snprintf(buf, sizeof buf, "%.0f", v);
    else
        std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

}  // namespace

std::string labels(std::initializer_list<std::pair<const char*, std::string>> pairs) {
    std::string out;
    for (const auto& [key, value] : pairs) {
        if (!out.empty()) out += ',';
        out += key;
        out += "=\"";
        for (const char c : value) {
            if (c == '\\' || c == '"') out += '\\';
            if (c == '\n')
                out += "\\n";
            else
                out += c;
        }
        out += '"';
    }
    return out;
}

void Metrics::declare(const std::string& name, Type type, const std::string& help,
                      std::vector<double> buckets) {
    std::lock_guard lock(mutex_);
    Family f;
    f.name = name;
    f.help = help;
    f.type = type;
    f.counts.assign(buckets.size() + 1, 0);
    f.buckets = std::move(buckets);
    families_.push_back(std::move(f));
}

Metrics::Family* Metrics::find(const std::string& name) {
    for (Family& f : families_)
        if (f.name == name) return &f;
    return nullptr;
}

void Metrics::add(const std::string& name, const std::string& labels, double by) {
    std::lock_guard lock(mutex_);
    if (Family* f = find(name)) f->samples[labels] += by;
}

void Metrics::set(const std::string& name, const std::string& labels, double value) {
    std::lock_guard lock(mutex_);
    if (Family* f = find(name)) f->samples[labels] = value;
}

void Metrics::observe(const std::string& name, double value) {
    std::lock_guard lock(mutex_);
    Family* f = find(name);
    if (!f || f->type != Type::Histogram) return;
    std::size_t i = 0;
    while (i < f->buckets.size() && value > f->buckets[i]) ++i;
    ++f->counts[i];
    f->sum += value;
    ++f->count;
}

std::string Metrics::text() const {
    std::lock_guard lock(mutex_);
    std::string out;
    for (const Family& f : families_) {
        out += "# HELP " + f.name + " " + f.help + "\n# TYPE " + f.name + " " +
               (f.type == Type::Counter ? "counter"
                : f.type == Type::Gauge ? "gauge"
                                        : "histogram") +
               "\n";
        if (f.type == Type::Histogram) {
            long long below = 0;
            for (std::size_t i = 0; i <= f.buckets.size(); ++i) {
                below += f.counts[i];
                const double le = i < f.buckets.size() ? f.buckets[i] : INFINITY;
                out += f.name + "_bucket{le=\"" + number(le) + "\"} " + std::to_string(below) +
                       "\n";
            }
            out += f.name + "_sum " + number(f.sum) + "\n";
            out += f.name + "_count " + std::to_string(f.count) + "\n";
            continue;
        }
        for (const auto& [l, v] : f.samples)
            out += f.name + (l.empty() ? "" : "{" + l + "}") + " " + number(v) + "\n";
    }
    return out;
}
