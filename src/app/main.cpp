#include "DocumentationHooks.h"
#include "QuarzelDatabase.h"
#include "update/UpdateController.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quarzel Geochemical Database");
    QuarzelDatabase window;
    if (QApplication::arguments().contains("--time-first-paint"))
        reportFirstPaint(window);
    window.show();
    if (QApplication::arguments().contains("--update"))
        QTimer::singleShot(0, &window, [&window] { window.updates().ShowUpdateWindow(); });
    installDocumentationHooks(window);
    return QApplication::exec();
}
