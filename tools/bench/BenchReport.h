#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Times pairs of cases (ours against a reference) and prints one line per
// case with both times and their ratio, then the worst ratio over every
// case: a comparison counts as its ratio over its goal, a limit as its
// value over the limit, so that 1.00 or less means every goal is met.
class BenchReport {
public:
    // Runs both several times, alternating, and keeps the median of each.
    void compare(const std::string& name, const std::function<void()>& ours,
                 const std::function<void()>& reference, double goal, int runs = 5);
    // A comparison whose medians were measured elsewhere (in other processes).
    void record(const std::string& name, double ours, double reference, double goal);
    // A case measured against a fixed limit rather than a reference.
    void limit(const std::string& name, double value, double limit, const std::string& unit);

    void print() const;
    double worstRatio() const;

    static double milliseconds(const std::function<void()>& f);
    static double median(std::vector<double> v);
    static double residentMegabytes();

private:
    struct Line {
        std::string name;
        double ours;
        double reference;
        double goal;
        std::string unit;
        bool isLimit;
    };
    std::vector<Line> lines_;
};
