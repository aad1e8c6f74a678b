// The map's export: PNG, SVG or PDF, the view at the export's size with
// its projection named.
#include "MapWindow.h"

#include "PictureFile.h"

#include "platform/dialogs/FileDialogs.h"
#include "platform/dialogs/MessageBox.h"

#include <QPainter>

#include <algorithm>
#include <stdexcept>

void MapWindow::exportTo(const QString& path, const QSize& size) const {
    // The same view at the export's size: its width takes the same degrees.
    const geo::MapFrame frame = frame_.resized(size.width(), size.height());
    PictureFile::Options options;
    options.title = "Map";
    options.description = QString::fromStdString(frame.projectionName());
    options.pdfResolution = 144;
    PictureFile::write(path, size, options, [&](QPainter& p) { render(p, frame, true); });
}

void MapWindow::exportClicked() {
    const QString path = FileDialogs::getSaveFileName(
        this, "Export the map", "map.png",
        "PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)");
    if (path.isEmpty())
        return;
    try {
        exportTo(path, QSize(2000, static_cast<int>(2000 * frame_.height() / frame_.width())));
    } catch (const std::exception& e) {
        MessageBox::Show(QString::fromStdString(e.what()), 48, "Export Error");
    }
}
