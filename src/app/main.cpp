#include "QuarzelDatabase.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quarzel Geochemical Database");
    QuarzelDatabase window;
    window.show();
    if (QApplication::arguments().contains("--update"))
        QTimer::singleShot(0, &window, [&window] { window.ShowUpdateWindow(); });
    // For the README's picture: save the window once it is painted, then end.
    const QString shot = qEnvironmentVariable("QUARZEL_SCREENSHOT");
    if (!shot.isEmpty()) {
        QTimer::singleShot(1500, &window, [&window, shot] {
            window.grab().save(shot);
            QApplication::exit(0);
        });
    }
    return QApplication::exec();
}
