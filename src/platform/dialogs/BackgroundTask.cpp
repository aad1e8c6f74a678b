#include "BackgroundTask.h"

#include <QApplication>
#include <QEventLoop>
#include <QFontMetrics>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <vector>

namespace {

std::vector<BackgroundTask::Control*> underWay; // user-interface thread only

} // namespace

bool BackgroundTask::running() {
    return !underWay.empty();
}

void BackgroundTask::cancelAll() {
    for (Control* c : underWay)
        c->cancel = true;
}

bool BackgroundTask::run(QWidget* owner, const QString& title, const QString& label,
                         const std::function<void(Control&)>& work, QString* error) {
    Control control;
    underWay.push_back(&control);
    QString failure;
    bool ok = true;
    QThread* thread = QThread::create([&] {
        try {
            work(control);
        } catch (const std::exception& e) {
            ok = false;
            failure = QString::fromStdString(e.what());
        }
    });
    QProgressDialog progress(label, "Cancel", 0, 1000, owner ? owner->window() : nullptr);
    progress.setWindowTitle(title);
    // Wide enough for its title and its text, whatever the window manager.
    const QFontMetrics metrics(progress.font());
    progress.setMinimumWidth(std::min(
        900, std::max(metrics.horizontalAdvance(title) + 160, metrics.horizontalAdvance(label) + 60)));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(1000);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setValue(0);
    QObject::connect(&progress, &QProgressDialog::canceled, [&] { control.cancel = true; });
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const long long total = control.total.load();
        if (total > 0)
            progress.setValue(
                static_cast<int>(std::min(999LL, control.done.load() * 1000 / total)));
    });
    tick.start(100);
    QEventLoop wait;
    QObject::connect(thread, &QThread::finished, &wait, &QEventLoop::quit);
    thread->start();
    wait.exec();
    thread->wait();
    delete thread;
    progress.close();
    underWay.erase(std::find(underWay.begin(), underWay.end(), &control));
    if (!ok && error)
        *error = failure;
    return ok;
}
