#include "QuarzelDatabase.h"
#include "platform/db/FreedMemory.h"
#include "update/UpdateController.h"

#include <QApplication>
#include <QTimer>

#ifdef QUARZEL_DOCUMENTATION_HOOKS
#include "DocumentationHooks.h"
#endif

int main(int argc, char** argv) {
    engine::keepLargeBlocksApart();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Quarzel Geochemical Database");
    QuarzelDatabase window;
#ifdef QUARZEL_DOCUMENTATION_HOOKS
    if (QApplication::arguments().contains("--time-first-paint"))
        reportFirstPaint(window);
#endif
    window.show();
    if (QApplication::arguments().contains("--update"))
        QTimer::singleShot(0, &window, [&window] { window.updates().ShowUpdateWindow(); });
#ifdef QUARZEL_DOCUMENTATION_HOOKS
    installDocumentationHooks(window);
#endif
    return QApplication::exec();
}
