#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Times pairs of cases (ours against a reference) and prints one line per
// case with both times and their ratio, then the worst ratio.
class BenchReport {
public:
    // Runs both a few times, alternating, and keeps the best time of each.
    void compare(const std::string& name, const std::function<void()>& ours,
                 const std::function<void()>& reference, double goal, int runs = 3);
    // A case measured against a fixed limit rather than a reference.
    void limit(const std::string& name, double value, double limit, const std::string& unit);

    void print() const;
    double worstRatio() const;

    static double milliseconds(const std::function<void()>& f);
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
