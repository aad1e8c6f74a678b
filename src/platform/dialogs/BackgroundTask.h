#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <vector>

class QProgressDialog;
class QThread;
class QTimer;
class QWidget;

// Long work off the user-interface thread. It starts at once and reports
// by a signal when it is over; meanwhile its window takes no command (its
// menus and controls are disabled from the first moment), and a progress
// dialog with a Cancel button, centred on the window, appears when the work
// takes more than a second. The work reports its progress (0 to total) and
// looks at the cancel flag; what it throws comes back as an Error.
class BackgroundTask : public QObject {
    Q_OBJECT
public:
    struct Control {
        std::atomic<long long> done{0};
        std::atomic<long long> total{0};
        std::atomic<bool> cancel{false};
    };
    using Work = std::function<void(Control&)>;

    // Why the work failed, for the caller to decide by its code and to
    // show its text: an engine's error keeps its number, a file's error
    // (FileError) its code; anything else is Other, code 0.
    struct Error {
        enum class Kind { None, Engine, File, Other };
        Kind kind = Kind::None;
        int code = 0;
        QString text;
    };

    // title: the dialog's short title ("Import CSV"); label: what it says.
    // The task belongs to the owner and ends with it.
    static BackgroundTask* start(QWidget* owner, const QString& title, const QString& label,
                                 Work work);
    ~BackgroundTask() override;

    void cancel();
    // Whether any work is under way, and a way to cancel all of it (the
    // program is closing): each stops at its next look at its flag.
    static bool running();
    static void cancelAll();
    // Runs once no work is under way any more (at once when none is).
    static void whenIdle(QObject* context, std::function<void()> then);

signals:
    // On the owner's thread, after the work's thread has ended; the task
    // deletes itself afterwards.
    void finished(bool ok, const BackgroundTask::Error& error);

private:
    BackgroundTask(QWidget* owner, const QString& title, const QString& label, Work work);
    void ended();
    void failed(Error::Kind kind, int code, const char* text);
    void setBusy(bool busy);

    Control control_;
    QPointer<QWidget> window_;
    std::vector<QPointer<QWidget>> disabled_;
    QThread* thread_ = nullptr;
    QPointer<QProgressDialog> progress_; // a child of the window, which may go first
    QTimer* tick_ = nullptr;
    bool ok_ = true;
    Error failure_;
};
