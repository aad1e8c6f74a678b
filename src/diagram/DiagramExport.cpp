// The diagram window's pictures: the plot, the page or the pattern drawn
// into an image, a drawing or a document, each written whole or not at all.
#include "DiagramPlot.h"
#include "DiagramWindow.h"
#include "PatternPlot.h"
#include "PictureFile.h"
#include "platform/dialogs/FileDialogs.h"
#include "platform/dialogs/MessageBox.h"

#include <QComboBox>
#include <QFileInfo>
#include <QInputDialog>
#include <QPainter>
#include <QStackedWidget>

#include <algorithm>
#include <cmath>
#include <stdexcept>

// The plot, or the page's plots in their grid, drawn into one picture.
void DiagramWindow::renderAll(QPainter& p, const QSize& size, bool forExport) const {
    if (patternShown()) {
        pattern_->render(p, size,
                         forExport ? PatternPlot::exportStyle(size) : PatternPlot::Style());
        return;
    }
    if (stack_->currentIndex() == 0) {
        plot_->render(p, size, forExport ? DiagramPlot::exportStyle(size) : DiagramPlot::Style());
        return;
    }
    const QSize cell(size.width() / 4, size.height() / 2);
    for (std::size_t i = 0; i < page_.size(); ++i) {
        p.save();
        p.translate(static_cast<double>(i % 4) * cell.width(),
                    static_cast<double>(i / 4) * cell.height());
        DiagramPlot::Style style;
        style.scale = forExport ? std::max(1.0, cell.width() / 250.0) : 1;
        style.currentRow = !forExport;
        page_[i]->render(p, cell, style);
        p.restore();
    }
}

void DiagramWindow::exportTo(const QString& path, const QSize& size, int dotsPerInch) const {
    PictureFile::Options options;
    options.pngDotsPerInch = dotsPerInch;
    options.title = windowTitle();
    PictureFile::write(path, size, options, [&](QPainter& p) { renderAll(p, size, true); });
}

void DiagramWindow::exportClicked() {
    // Named after the diagram: tas-diagram.png, harker-page.png, harker-MgO.png ...
    QString keyword = diagramKeyword();
    keyword.replace(':', '-').remove('#');
    const QString suggested = keyword == "harker"             ? "harker-page.png"
                              : keyword.startsWith("harker-") ? keyword + ".png"
                              : patternShown()
                                  ? keyword + "-" + set_->currentData().toString() + ".png"
                                  : keyword + "-diagram.png";
    const QString path = FileDialogs::getSaveFileName(
        this, "Export the diagram", suggested,
        "PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)");
    if (path.isEmpty())
        return;
    bool ok = false;
    const int width = QInputDialog::getInt(this, "Export the diagram", "Width in pixels:", 1200,
                                           200, 20000, 100, &ok);
    if (!ok)
        return;
    const int height = QInputDialog::getInt(
        this, "Export the diagram", "Height in pixels:", width * 3 / 4, 150, 20000, 100, &ok);
    if (!ok)
        return;
    int dotsPerInch = kExportDotsPerInch;
    if (QFileInfo(path).suffix().compare("png", Qt::CaseInsensitive) == 0) {
        // So that the picture comes out at its size in print.
        dotsPerInch = QInputDialog::getInt(this, "Export the diagram",
                                           "Resolution in dots per inch:", kExportDotsPerInch, 50,
                                           2400, 50, &ok);
        if (!ok)
            return;
    }
    try {
        exportTo(path, QSize(width, height), dotsPerInch);
    } catch (const std::exception& e) {
        MessageBox::Show(QString::fromStdString(e.what()), 48, "Export Error");
    }
}
