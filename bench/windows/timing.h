#pragma once
// A small timing harness for the Windows benchmarks, in the shape of the Google Benchmark runs
// of the Linux ones: named cases, repetitions, the median of each, and every target as a ratio
// to its anchor measured in the same run.
// Why not Google Benchmark: Debian ships it only as headers with Linux libraries
// (libbenchmark-dev); no Debian package holds its sources to build for MinGW-w64, and the
// project takes its dependencies from Debian alone.
//
// How a group runs: each case is warmed up and sized once (iterations per repetition so that
// one repetition lasts at least the minimum time), then the repetitions go round the cases in
// turn, so a target and its anchor are measured moments apart, under the same load of a shared
// machine. A ratio is the median over the repetitions of the ratio within each repetition.
// Wall time comes from the performance counter; CPU time is the whole process's (every
// thread, so a driver's or Wine's worker threads count too), at the system's tick resolution
// (10 ms under Wine), hence repetitions of a fair length. Each case prints the median, least
// and greatest wall time per iteration over the repetitions, the median CPU time per
// iteration, and the iterations in one repetition.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

namespace bench {

struct Options {
    int repetitions = 9;
    double minSeconds = 0.2;  // per case and repetition
};

// --repetitions N and --min-time SECONDS; anything else is an error.
inline bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--repetitions" && i + 1 < argc) {
            options.repetitions = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--min-time" && i + 1 < argc) {
            options.minSeconds = std::max(0.001, std::atof(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: %s [--repetitions N] [--min-time SECONDS]\n", argv[0]);
            return false;
        }
    }
    return true;
}

// Keeps a computed value alive, so the work that made it is not optimised away.
template <class T>
inline void keep(const T& value) {
    asm volatile("" : : "r"(&value) : "memory");
}

inline double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

inline double processCpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime) *
               1e-7;
    };
    return seconds(kernel) + seconds(user);
}

struct Case {
    std::string name;
    std::function<void()> iteration;  // one timed iteration
    // Untimed: before each repetition (put the state in place), and between batches of at most
    // maxBatch iterations (clean up, e.g. delete the files a batch wrote). 0: no batches.
    std::function<void()> before;
    std::function<void()> betweenBatches;
    long maxBatch = 0;
    // Longer than the group's minimum, for a case whose CPU time is a few ticks of the clock.
    double minSeconds = 0;
    // Untimed, after the last repetition: why the figures do not count, or empty.
    std::function<std::string()> check;
};

enum class Metric { Wall, Cpu };

class Group {
public:
    Group(std::string title, const Options& options) : title_(std::move(title)), options_(options) {}

    // The case, for its optional parts to be set.
    Case& add(std::string name, std::function<void()> iteration) {
        Entry& e = cases_.emplace_back();
        e.c.name = std::move(name);
        e.c.iteration = std::move(iteration);
        return e.c;
    }

    void run() {
        for (Entry& e : cases_) e.iterations = size(e.c);
        for (int rep = 0; rep < options_.repetitions; ++rep)
            for (Entry& e : cases_) {
                const auto [wall, cpu] = measure(e.c, e.iterations);
                e.wall.push_back(wall);
                e.cpu.push_back(cpu);
            }
        std::printf("\n== %s (%d repetitions, each case at least %.2f s per repetition)\n", title_.c_str(),
                    options_.repetitions, options_.minSeconds);
        std::printf("  %-28s %12s %12s %12s %12s %10s\n", "case", "wall med us", "wall min us", "wall max us",
                    "cpu med us", "iters/rep");
        for (Entry& e : cases_) {
            std::printf("  %-28s %12.1f %12.1f %12.1f %12.1f %10ld\n", e.c.name.c_str(), median(e.wall) * 1e6,
                        *std::min_element(e.wall.begin(), e.wall.end()) * 1e6,
                        *std::max_element(e.wall.begin(), e.wall.end()) * 1e6, median(e.cpu) * 1e6,
                        e.iterations);
            if (e.c.check) {
                const std::string problem = e.c.check();
                if (!problem.empty()) fail(e.c.name + ": " + problem);
            }
        }
        std::fflush(stdout);
    }

    // Median per-iteration seconds of a case.
    double median(const std::string& name, Metric metric = Metric::Wall) const {
        const Entry& e = entry(name);
        return median(metric == Metric::Wall ? e.wall : e.cpu);
    }

    // The median over the repetitions of numerator / (sum of denominators), each repetition's
    // figures against each other; printed with the target when there is one.
    double ratio(const std::string& numerator, const std::vector<std::string>& denominators, Metric metric,
                 std::optional<double> atMost = std::nullopt, const std::string& note = {}) {
        const Entry& top = entry(numerator);
        std::vector<double> ratios;
        std::string under;
        for (std::size_t i = 0; i < denominators.size(); ++i) under += (i ? " + " : "") + denominators[i];
        for (int rep = 0; rep < options_.repetitions; ++rep) {
            double sum = 0;
            for (const std::string& name : denominators) sum += pick(entry(name), metric)[rep];
            if (sum > 0) ratios.push_back(pick(top, metric)[rep] / sum);
        }
        const double value = ratios.empty() ? NAN : median(ratios);
        const char* what = metric == Metric::Wall ? "wall" : "cpu";
        if (denominators.size() > 1) under = "(" + under + ")";
        std::printf("  ratio %s / %s (%s): %.2f", numerator.c_str(), under.c_str(), what, value);
        if (atMost) {
            const bool met = value <= *atMost;
            std::printf("   target <= %.2f: %s", *atMost, met ? "met" : "NOT MET");
            if (!met) missed_ = true;
        }
        if (!note.empty()) std::printf("   (%s)", note.c_str());
        std::printf("\n");
        std::fflush(stdout);
        return value;
    }

    bool targetMissed() const { return missed_; }

    static void fail(const std::string& problem) {
        std::printf("  PROBLEM: %s\n", problem.c_str());
        problems() += 1;
    }
    static int& problems() {
        static int count = 0;
        return count;
    }

private:
    struct Entry {
        Case c;
        long iterations = 0;
        std::vector<double> wall;  // seconds per iteration, one per repetition
        std::vector<double> cpu;
    };

    static double median(std::vector<double> values) {
        if (values.empty()) return NAN;
        std::sort(values.begin(), values.end());
        const std::size_t n = values.size();
        return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    }
    static const std::vector<double>& pick(const Entry& e, Metric metric) {
        return metric == Metric::Wall ? e.wall : e.cpu;
    }
    const Entry& entry(const std::string& name) const {
        for (const Entry& e : cases_)
            if (e.c.name == name) return e;
        std::fprintf(stderr, "no case %s\n", name.c_str());
        std::abort();
    }

    // Seconds per iteration (wall, CPU) over `iterations`, with the untimed hooks outside.
    static std::pair<double, double> measure(const Case& c, long iterations) {
        if (c.before) c.before();
        double wall = 0, cpu = 0;
        long done = 0;
        while (done < iterations) {
            const long batch = c.maxBatch > 0 ? std::min(c.maxBatch, iterations - done) : iterations - done;
            const double cpu0 = processCpuSeconds(), wall0 = wallSeconds();
            for (long i = 0; i < batch; ++i) c.iteration();
            wall += wallSeconds() - wall0;
            cpu += processCpuSeconds() - cpu0;
            done += batch;
            if (c.betweenBatches) c.betweenBatches();
        }
        return {wall / static_cast<double>(iterations), cpu / static_cast<double>(iterations)};
    }

    // Warms the case up (a quarter of the minimum time, at least 3 iterations) and returns the
    // iterations that make one repetition last the minimum time.
    long size(const Case& c) const {
        long count = 0;
        double spent = 0;
        if (c.before) c.before();
        while (count < 3 || spent < options_.minSeconds / 4) {
            const double start = wallSeconds();
            c.iteration();
            spent += wallSeconds() - start;
            ++count;
            if (c.maxBatch > 0 && count % c.maxBatch == 0 && c.betweenBatches) c.betweenBatches();
        }
        if (c.betweenBatches) c.betweenBatches();
        const double perIteration = spent / static_cast<double>(count);
        const double minimum = std::max(options_.minSeconds, c.minSeconds);
        return std::max(3L, static_cast<long>(std::ceil(minimum / perIteration)));
    }

    std::string title_;
    Options options_;
    std::deque<Entry> cases_;  // keeps the cases where add() left them
    bool missed_ = false;
};

}  // namespace bench
