#pragma once

#include <QSize>
#include <QString>

#include <functional>

class QPainter;

// A window's picture written to a file by its suffix: a PNG image, an SVG
// drawing or a PDF document of the picture's size, one pixel to one point
// of the drawing; written whole into place or not at all (a failure
// leaves an earlier file of that name as it was). Throws
// std::runtime_error naming the path and the reason.
class PictureFile {
public:
    struct Options {
        int pngDotsPerInch = 0; // written into the PNG; 0: the image's default
        QString title;          // the SVG's title, and the PDF's when given
        QString description;    // the SVG's description, the PDF's creator
        int pdfResolution = 96; // pixels per inch on the PDF's page
    };
    static void write(const QString& path, const QSize& size, const Options& options,
                      const std::function<void(QPainter&)>& draw);
};
