#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

class QuarzelDatabase;

// Renders the visible rows and the label for real (grab() runs their paint
// events), whether or not the offscreen window has a backing store yet;
// first the command under way finishes, as it does for the user, between
// events.
void paint(QuarzelDatabase& w);

// "Find" as the user clicks it, up to the painted rows and label.
void find(QuarzelDatabase& w, const QString& term, const QString& column);

// Until the grid knows every row of its record set (the keys after the
// first screen are still being read when a command returns).
void settle(QuarzelDatabase& w);

// Starts a program and waits for its first line (or its end); returns the
// milliseconds from the start.
double spawnUntilFirstLine(const std::vector<std::string>& args, bool untilEnd);

// Watches a command as the user lives it: when the grid first paints the
// new record set's rows, the longest time the event loop went unserved, and
// the resident memory at its highest.
class CommandMeter : public QObject {
public:
    explicit CommandMeter(QuarzelDatabase* w = nullptr);
    ~CommandMeter() override;
    void watch(QuarzelDatabase& w);
    double elapsed() const { return static_cast<double>(clock_.nsecsElapsed()) / 1e6; }
    double firstRows() const { return firstRows_ < 0 ? elapsed() : firstRows_; }
    double held() {
        served();
        return held_;
    }
    double peakMegabytes() const { return peak_; }

protected:
    bool eventFilter(QObject*, QEvent* e) override;

private:
    void served();
    QuarzelDatabase* w_ = nullptr;
    QTimer tick_;
    QElapsedTimer clock_;
    double last_ = 0, held_ = 0, sampled_ = -100, peak_ = 0, firstRows_ = -1;
    bool swapped_ = false;
};

// A command's three moments, the medians of five runs: the first rows
// painted, the count label painted (the command returns), and the longest
// the event loop waited; the reference's time, run before each; and the
// highest resident memory seen.
struct CommandTimes {
    double firstRows, label, held, reference, peak;
};
CommandTimes timeCommand(QuarzelDatabase& w, const std::function<void()>& command,
                         const std::function<void()>& reference);

// A cold start as the user has it: the program, run from a copy in dir,
// as a new process to its first painted rows (log-on included), five
// times in turn with the reference; the medians of both, in ms.
struct StartTimes {
    double ours, reference;
};
StartTimes timeStart(const std::string& dir, const std::function<double()>& reference);
