#include "WindowMeter.h"

#include "BenchReport.h"
#include "Processes.h"
#include "app/QuarzelDatabase.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/db/Recordset.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

void paint(QuarzelDatabase& w) {
    QCoreApplication::processEvents();
    while (w.busy())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    (void)w.vaSpread1->viewport()->grab();
    (void)w.Label3->grab();
}

void find(QuarzelDatabase& w, const QString& term, const QString& column) {
    w.Text1[0]->setText(term);
    w.Text1[1]->clear();
    w.Combo1->setEditText(column);
    w.Command1[0]->click();
    paint(w);
}

void settle(QuarzelDatabase& w) {
    auto* rs = w.Data1->view()->recordset();
    while (rs && !(rs->keysComplete() && w.vaSpread1->RowCount() == rs->knownRowCount()))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

CommandMeter::CommandMeter(QuarzelDatabase* w) {
    connect(&tick_, &QTimer::timeout, this, [this] { served(); });
    tick_.start(0);
    clock_.start();
    if (w)
        watch(*w);
}

void CommandMeter::watch(QuarzelDatabase& w) {
    w_ = &w;
    w.vaSpread1->viewport()->installEventFilter(this);
    connect(w.Data1->view(), &View::recordsetChanged, this, [this] { swapped_ = true; });
}

CommandMeter::~CommandMeter() {
    if (w_)
        w_->vaSpread1->viewport()->removeEventFilter(this);
}

bool CommandMeter::eventFilter(QObject*, QEvent* e) {
    if (e->type() == QEvent::Paint && swapped_ && firstRows_ < 0)
        firstRows_ = elapsed();
    return false;
}

void CommandMeter::served() {
    const double now = elapsed();
    held_ = std::max(held_, now - last_);
    last_ = now;
    if (now - sampled_ > 10) {
        sampled_ = now;
        peak_ = std::max(peak_, BenchReport::residentMegabytes());
    }
}

// Starts a program and waits for its first line (or its end); returns the
// milliseconds from the start.
double spawnUntilFirstLine(const std::vector<std::string>& args, bool untilEnd) {
    int out[2];
    if (pipe(out) != 0)
        return -1;
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        execProgram(args);
    }
    close(out[1]);
    char c;
    double ms = -1;
    while (read(out[0], &c, 1) == 1) {
        if (c == '\n' && !untilEnd) {
            ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                     .count();
            break;
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(out[0]);
    if (untilEnd)
        ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                 .count();
    return ms;
}

CommandTimes timeCommand(QuarzelDatabase& w, const std::function<void()>& command,
                         const std::function<void()>& reference) {
    std::vector<double> firstRows, label, held, theirs;
    double peak = 0;
    for (int run = 0; run < 5; ++run) {
        theirs.push_back(BenchReport::milliseconds(reference));
        CommandMeter meter(&w);
        command();
        paint(w);
        label.push_back(meter.elapsed());
        settle(w);
        firstRows.push_back(meter.firstRows());
        held.push_back(meter.held());
        peak = std::max(peak, meter.peakMegabytes());
    }
    return {BenchReport::median(firstRows), BenchReport::median(label), BenchReport::median(held),
            BenchReport::median(theirs), peak};
}

StartTimes timeStart(const std::string& dir, const std::function<double()>& reference) {
    namespace fs = std::filesystem;
    const std::string program = dir + "/quarzel";
    fs::copy_file(QCoreApplication::applicationDirPath().toStdString() + "/quarzel-doc", program,
                  fs::copy_options::overwrite_existing);
    std::vector<double> ours, theirs;
    for (int i = 0; i < 5; ++i) {
        theirs.push_back(reference());
        ours.push_back(
            spawnUntilFirstLine({program, "-platform", "offscreen", "--time-first-paint"}, false));
    }
    fs::remove(program);
    return {BenchReport::median(ours), BenchReport::median(theirs)};
}
