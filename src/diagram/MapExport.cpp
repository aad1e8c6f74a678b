// The map's export: PNG, SVG or PDF, the view at the export's size with
// its projection named.
#include "MapWindow.h"

#include "platform/dialogs/FileDialogs.h"
#include "platform/dialogs/MessageBox.h"

#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>

#include <algorithm>
#include <stdexcept>

void MapWindow::exportTo(const QString& path, const QSize& size) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("Cannot write '" + path.toStdString() +
                                 "': " + file.errorString().toStdString() + ".");
    // The same view at the export's size: its width takes the same degrees.
    const geo::MapFrame frame = frame_.resized(size.width(), size.height());
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "png") {
        QImage image(size, QImage::Format_RGB32);
        QPainter p(&image);
        render(p, frame, true);
        p.end();
        if (!image.save(&file, "PNG"))
            file.cancelWriting();
    } else if (suffix == "svg") {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle("Map");
        svg.setDescription(QString::fromStdString(frame.projectionName()));
        QPainter p(&svg);
        render(p, frame, true);
    } else if (suffix == "pdf") {
        // A page the map's shape, its pixels mapped one to one onto it.
        QPdfWriter pdf(&file);
        pdf.setTitle("Map");
        pdf.setCreator(QString::fromStdString(frame.projectionName()));
        pdf.setResolution(144);
        pdf.setPageMargins(QMarginsF());
        pdf.setPageSize(QPageSize(QSizeF(size) / 144.0 * 25.4, QPageSize::Millimeter));
        QPainter p(&pdf);
        const double fit =
            std::min(pdf.width() / double(size.width()), pdf.height() / double(size.height()));
        p.scale(fit, fit);
        render(p, frame, true);
    } else {
        file.cancelWriting();
        throw std::runtime_error("Cannot write '" + path.toStdString() +
                                 "': choose a name ending in .png, .svg or .pdf.");
    }
    if (!file.commit())
        throw std::runtime_error("Cannot write '" + path.toStdString() +
                                 "': " + file.errorString().toStdString() + ".");
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
