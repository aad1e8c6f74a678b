#include "PictureFile.h"

#include <QFileInfo>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>

#include <cmath>
#include <stdexcept>

void PictureFile::write(const QString& path, const QSize& size, const Options& options,
                        const std::function<void(QPainter&)>& draw) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("Cannot write '" + path.toStdString() +
                                 "': " + file.errorString().toStdString() + ".");
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "png") {
        QImage image(size, QImage::Format_RGB32);
        QPainter p(&image);
        draw(p);
        p.end();
        if (options.pngDotsPerInch > 0) {
            // Set after drawing: the image's resolution would scale the text.
            const int perMetre = static_cast<int>(std::lround(options.pngDotsPerInch / 0.0254));
            image.setDotsPerMeterX(perMetre);
            image.setDotsPerMeterY(perMetre);
        }
        if (!image.save(&file, "PNG"))
            file.cancelWriting();
    } else if (suffix == "svg") {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(options.title);
        if (!options.description.isEmpty())
            svg.setDescription(options.description);
        QPainter p(&svg);
        draw(p);
    } else if (suffix == "pdf") {
        // A page the picture's shape, its pixels mapped one to one onto it.
        QPdfWriter pdf(&file);
        if (!options.description.isEmpty()) {
            pdf.setTitle(options.title);
            pdf.setCreator(options.description);
        }
        pdf.setResolution(options.pdfResolution);
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setPageSize(QPageSize(QSizeF(size) * 72.0 / options.pdfResolution, QPageSize::Point));
        QPainter p(&pdf);
        draw(p);
    } else {
        file.cancelWriting();
        throw std::runtime_error("Cannot write '" + path.toStdString() +
                                 "': choose a name ending in .png, .svg or .pdf.");
    }
    if (!file.commit())
        throw std::runtime_error("Cannot write '" + path.toStdString() +
                                 "': " + file.errorString().toStdString() + ".");
}
