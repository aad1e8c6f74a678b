#include "Printer.h"

#include "PrintError.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>

Printer& Printer::instance() {
    static Printer printer;
    return printer;
}

Printer::Printer() {
    renewDevice();
    font_ = QFont("Arial");
    font_.setPointSizeF(10);
    const QRectF r = pageRect();
    scaleWidth_ = r.width();
    scaleHeight_ = r.height();
}

void Printer::renewDevice() {
    auto fresh = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (device_)
        fresh->setPageLayout(device_->pageLayout());
    else {
        fresh->setPageSize(QPageSize(QPageSize::A4));
        fresh->setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
    }
    fresh->setFullPage(false);
    device_ = std::move(fresh);
}

int Printer::Orientation() const {
    return device_->pageLayout().orientation() == QPageLayout::Landscape ? 2 : 1;
}

void Printer::setOrientation(int orientation) {
    device_->setPageOrientation(orientation == 2 ? QPageLayout::Landscape : QPageLayout::Portrait);
}

QRectF Printer::pageRect() const {
    return device_->pageLayout().paintRectPixels(device_->resolution());
}

double Printer::TextWidth(const QString& text) const {
    QFontMetricsF fm(font_, device_.get());
    return fm.horizontalAdvance(text) * scaleWidth_ / pageRect().width();
}

double Printer::lineHeight() const {
    QFontMetricsF fm(font_, device_.get());
    return fm.height() * scaleHeight_ / pageRect().height();
}

void Printer::Print(const QString& text) {
    const double h = lineHeight();
    if (pageHasText_ && y_ + h > scaleHeight_) {
        NewPage(); // the page is full: go on on the next one
    }
    ops_.push_back({false, x_, y_, font_, text});
    pageHasText_ = true;
    y_ += h;
    x_ = 0;
}

void Printer::NewPage() {
    ops_.push_back({true, 0, 0, font_, {}});
    pageHasText_ = false;
    x_ = 0;
    y_ = 0;
}

void Printer::KillDoc() {
    ops_.clear();
    pageHasText_ = false;
    x_ = y_ = 0;
}

void Printer::EndDoc() {
    std::vector<Op> ops;
    ops.swap(ops_);
    KillDoc();
    device_->setCopyCount(1); // the copies are drawn here, so every device gets them all
    QPainter p;
    if (!p.begin(device_.get())) {
        const QString file = device_->outputFileName();
        renewDevice();
        if (!file.isEmpty())
            throw PrintError(482,
                             "Printer error: cannot write the file '" + file.toStdString() + "'.");
        throw PrintError(482, "Printer error: no printer is available. Choose a printer, or print "
                              "to a PDF file, in the print dialog.");
    }
    const QRectF page = pageRect();
    const double sx = page.width() / scaleWidth_;
    const double sy = page.height() / scaleHeight_;
    for (int copy = 0; copy < copies_; ++copy) {
        if (copy > 0)
            device_->newPage();
        for (const Op& op : ops) {
            if (op.newPage) {
                device_->newPage();
                continue;
            }
            QFont f(op.font, device_.get());
            p.setFont(f);
            QFontMetricsF fm(f, device_.get());
            // Painter coordinates start at the printable area's corner.
            p.drawText(QPointF(op.x * sx, op.y * sy + fm.ascent()), op.text);
        }
    }
    if (!p.end() || device_->printerState() == QPrinter::Error) {
        renewDevice();
        throw PrintError(482, "Printer error: the document could not be sent to the printer.");
    }
}
