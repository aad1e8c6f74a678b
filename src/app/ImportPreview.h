#pragma once

#include "exchange/CsvImport.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <vector>

class QComboBox;
class QPushButton;

// What an import would do, shown before anything is written: how the file
// is written (encoding, delimiter, decimal mark, header and units lines),
// each of its columns with its unit, conversion and the column it goes
// into, which the user may change, and its rows (bad ones, empty values,
// values left out). A changed mapping is read again before it can be
// imported. Tests answer in place of the dialog.
class ImportPreview : public QDialog {
    Q_OBJECT
public:
    enum class Answer { Cancel, Import, ReadAgain };

    class Implementation {
    public:
        virtual ~Implementation() = default;
        virtual Answer ask(const ImportPlan& plan, const QString& question,
                           std::vector<int>& mapping) = 0;
        virtual QString chooseSheet(const QString& file, const QStringList& sheets) = 0;
        // What to do with the samples the table holds already.
        virtual CsvImport::Duplicates duplicates(const ImportPlan&) {
            return CsvImport::Duplicates::Skip;
        }
    };

    // Shows the plan with the question under it; for ReadAgain, mapping
    // holds the user's mapping (ImportColumns::code, one per file column).
    // Where some rows are samples the table holds already, the user says
    // what to do with them (left out unless told otherwise).
    static Answer ask(const ImportPlan& plan, const QString& question, std::vector<int>& mapping,
                      CsvImport::Duplicates& duplicates, QWidget* parent);
    // Which sheet of a workbook to read; empty when the user cancels.
    static QString chooseSheet(const QString& file, const QStringList& sheets, QWidget* parent);
    // Replaces the dialogs (nullptr restores the real ones).
    static void setImplementation(Implementation* impl);

    ImportPreview(const ImportPlan& plan, const QString& question, QWidget* parent = nullptr);
    std::vector<int> mapping() const;
    CsvImport::Duplicates duplicates() const;
    Answer answer() const { return answer_; }

private:
    void mappingChanged();

    std::vector<int> planned_;
    std::vector<QComboBox*> into_;
    QComboBox* duplicates_ = nullptr;
    QPushButton* import_ = nullptr;
    QPushButton* readAgain_ = nullptr;
    Answer answer_ = Answer::Cancel;
};
