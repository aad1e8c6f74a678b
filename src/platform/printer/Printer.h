#pragma once

#include <QFont>
#include <QPrinter>
#include <QString>

#include <memory>
#include <vector>

// The program's printer object. Text is placed on a user scale of the
// printable page (ScaleWidth across, ScaleHeight down); Print writes one
// line at CurrentX, CurrentY and moves down by the line height of the
// current font, continuing on a new page when the page is full. The pages
// are kept until EndDoc, which sends Copies copies of them to the device
// chosen in the print dialog (a printer, or a PDF file).
class Printer {
public:
    static Printer& instance();

    QPrinter& device() { return *device_; }

    int Orientation() const;
    void setOrientation(int orientation); // 1 portrait, 2 landscape
    int Copies() const { return copies_; }
    void setCopies(int copies) { copies_ = copies < 1 ? 1 : copies; }

    QString FontName() const { return font_.family(); }
    void setFontName(const QString& name) { font_.setFamily(name); }
    double FontSize() const { return font_.pointSizeF(); }
    void setFontSize(double points) { font_.setPointSizeF(points); }
    bool FontBold() const { return font_.bold(); }
    void setFontBold(bool bold) { font_.setBold(bold); }
    bool FontItalic() const { return font_.italic(); }
    void setFontItalic(bool italic) { font_.setItalic(italic); }

    double ScaleWidth() const { return scaleWidth_; }
    void setScaleWidth(double w) { scaleWidth_ = w; }
    double ScaleHeight() const { return scaleHeight_; }
    void setScaleHeight(double h) { scaleHeight_ = h; }
    double CurrentX() const { return x_; }
    void setCurrentX(double x) { x_ = x; }
    double CurrentY() const { return y_; }
    void setCurrentY(double y) { y_ = y; }

    double TextWidth(const QString& text) const;
    void Print(const QString& text = QString());
    void NewPage();
    // Throws PrintError when the device cannot take the document.
    void EndDoc();
    // Throws away a document that was begun but not ended.
    void KillDoc();

private:
    Printer();
    struct Op {
        bool newPage;
        double x, y;
        QFont font;
        QString text;
    };
    QRectF pageRect() const; // the printable area, in device pixels
    double lineHeight() const;

    void renewDevice(); // a device that failed to start cannot be used again
    std::unique_ptr<QPrinter> device_;
    int copies_ = 1;
    QFont font_;
    double scaleWidth_ = 0;
    double scaleHeight_ = 0;
    double x_ = 0;
    double y_ = 0;
    bool pageHasText_ = false;
    std::vector<Op> ops_;
};
