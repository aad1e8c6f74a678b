#pragma once

#include "platform/view/ValueColumns.h"

#include <QObject>
#include <QString>

class MainForm;

// The values shown after the grid's columns: "Tools > Columns..." asks
// which, the grid shows them, and each table keeps its own choice (in the
// user's settings, by database and table) across a switch of tables and a
// new start of the program.
class ValueColumnsController : public QObject {
    Q_OBJECT
public:
    explicit ValueColumnsController(MainForm& form, QObject* parent = nullptr);

    // Reads which analytes the table holds (off the user-interface thread),
    // then asks.
    void mnuColumns_Click();
    ValueColumns* columns() const { return values_; }

private:
    void followTable();
    void show(const std::vector<ValueColumns::Choice>& choices);
    QString settingsKey() const;

    MainForm& form_;
    ValueColumns* values_;
    QString shownFor_; // the table the columns were chosen for
};
