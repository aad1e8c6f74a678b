#pragma once

#include <QString>

class QWidget;

// Save-file dialogs that honour the chosen file type: a name typed without
// an extension gets the chosen filter's, as desktop file dialogs do.
class FileDialogs {
public:
    // filters: "CSV file (*.csv);;Excel workbook (*.xlsx)". Empty when
    // cancelled.
    static QString getSaveFileName(QWidget* parent, const QString& caption,
                                   const QString& suggested, const QString& filters);
    // The name as it will be written: kept when its extension is one the
    // filters offer, otherwise given the chosen filter's first extension.
    static QString withChosenSuffix(const QString& name, const QString& chosenFilter,
                                    const QString& filters);

    // Tests answer the dialog instead of a user: the name and the filter.
    using Answer = QString (*)(const QString& filters, QString* chosenFilter);
    static void setAnswer(Answer answer);
};
