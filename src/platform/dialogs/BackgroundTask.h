#pragma once

#include <QString>

#include <atomic>
#include <functional>

class QWidget;

// Long work off the user-interface thread: the window stays responsive
// while it runs, and a progress dialog with a Cancel button, centred on its
// window, appears when it takes more than a second. The work reports its
// progress (0 to total) and looks at the cancel flag; what it throws comes
// back as the description.
class BackgroundTask {
public:
    struct Control {
        std::atomic<long long> done{0};
        std::atomic<long long> total{0};
        std::atomic<bool> cancel{false};
    };
    // Returns true when the work ended without throwing; error gets the
    // description otherwise. title: the dialog's short title ("Import");
    // label: what it says ("Importing into Geochem...").
    static bool run(QWidget* owner, const QString& title, const QString& label,
                    const std::function<void(Control&)>& work, QString* error);

    // Whether any work is under way, and a way to cancel all of it (the
    // program is closing): each stops at its next look at its flag.
    static bool running();
    static void cancelAll();
};
