// The figures /metrics gives, in Prometheus' text format (0.0.4):
// counters, gauges and histograms by name, each with its labels. Families
// are declared once, in the order they are written.
#pragma once

#include <initializer_list>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class Metrics {
public:
    enum class Type { Counter, Gauge, Histogram };
    // `buckets`: a histogram's upper bounds, rising (+Inf is added).
    void declare(const std::string& name, Type type, const std::string& help,
                 std::vector<double> buckets = {});
    // `labels` as written between the braces: labels({{"code", "200"}}).
    void add(const std::string& name, const std::string& labels = "", double by = 1);
    void set(const std::string& name, const std::string& labels, double value);
    void observe(const std::string& name, double value);
    std::string text() const;

private:
    struct Family {
        std::string name, help;
        Type type;
        std::vector<double> buckets;
        std::vector<long long> counts;  // per bucket, not yet cumulative
        double sum = 0;
        long long count = 0;
        std::map<std::string, double> samples;
    };
    Family* find(const std::string& name);
    mutable std::mutex mutex_;
    std::vector<Family> families_;
};

// `key="value",...` with the text format's escapes.
std::string labels(std::initializer_list<std::pair<const char*, std::string>> pairs);
