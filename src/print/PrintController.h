#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class MainForm;
class PrintDialog;

// Printing: the report of the current row (File > Print) and the second
// layout, every row of the view two to a page.
class PrintController {
public:
    // Connects the File menu's print item.
    explicit PrintController(MainForm& form);
    ~PrintController();

    std::unique_ptr<PrintDialog> CommonDialog1;

    void mnuPrint_Click(short Index);
    void Printdata1();
    void PrintData();

private:
    // The second layout, once the view's count is known.
    void printEveryRow();
    // The values the grid shows in the given columns of the current row.
    QStringList readCurrentRow(int columns);
    // The centred title, then the date, the time and an empty line.
    void printHeading(double bodySize);
    void printCentred(const QString& text);
    void printPair(const QString& label, const QString& value);
    void printValuesPage(const QString& sample);
    void printWrapped(const QString& text);

    MainForm& form_;
};
