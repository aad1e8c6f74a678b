#include "BenchReport.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>

double BenchReport::milliseconds(const std::function<void()>& f) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

double BenchReport::residentMegabytes() {
    std::ifstream in("/proc/self/status");
    std::string key;
    while (in >> key) {
        if (key == "VmRSS:") {
            double kb = 0;
            in >> kb;
            return kb / 1024.0;
        }
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    return 0;
}

double BenchReport::median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void BenchReport::record(const std::string& name, double ours, double reference, double goal) {
    lines_.push_back({name, ours, reference, goal, "ms", false});
    std::printf("%-66s %10.2f ms %10.2f ms  ratio %5.2f  (goal %.2f)\n", name.c_str(), ours,
                reference, ours / reference, goal);
    std::fflush(stdout);
}

void BenchReport::compare(const std::string& name, const std::function<void()>& ours,
                          const std::function<void()>& reference, double goal, int runs) {
    std::vector<double> mine, theirs;
    for (int i = 0; i < runs; ++i) {
        theirs.push_back(milliseconds(reference));
        mine.push_back(milliseconds(ours));
    }
    record(name, median(mine), median(theirs), goal);
}

void BenchReport::limit(const std::string& name, double value, double lim,
                        const std::string& unit) {
    lines_.push_back({name, value, lim, 1.0, unit, true});
    std::printf("%-66s %10.2f %s  limit %g %s  ratio %5.2f\n", name.c_str(), value, unit.c_str(),
                lim, unit.c_str(), value / lim);
    std::fflush(stdout);
}

double BenchReport::worstRatio() const {
    double worst = 0;
    for (const auto& l : lines_)
        worst = std::max(worst, l.ours / l.reference / l.goal);
    return worst;
}

void BenchReport::print() const {
    std::printf("worst ratio %.2f (each case against its goal or limit; 1.00 or less meets all)\n",
                worstRatio());
    for (const auto& l : lines_) {
        const double r = l.ours / l.reference;
        if (r > l.goal)
            std::printf("over goal: %s (%.2f, goal %.2f)\n", l.name.c_str(), r, l.goal);
    }
}
