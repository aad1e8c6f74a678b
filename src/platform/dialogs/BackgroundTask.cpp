#include "BackgroundTask.h"

#include <QApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <exception>

bool BackgroundTask::run(const QString& label, const std::function<void(Control&)>& work,
                         QString* error) {
    Control control;
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
    QProgressDialog progress(label, "Cancel", 0, 1000, QApplication::activeWindow());
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
    if (!ok && error)
        *error = failure;
    return ok;
}
