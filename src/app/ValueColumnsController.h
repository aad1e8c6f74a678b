#pragma once

#include "platform/view/ValueColumns.h"

#include "platform/db/Database.h"

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class MainForm;

// The values shown after the grid's columns: "Tools > Columns..." asks
// which, the grid shows them, and each table keeps its own choice (in the
// user's settings, by database and table) across a switch of tables and a
// new start of the program. "Find by Value..." and "Sort by Value..." make
// the view the rows by one of those values, as the search bar and the
// sorts do by a column.
class ValueColumnsController : public QObject {
    Q_OBJECT
public:
    explicit ValueColumnsController(MainForm& form, QObject* parent = nullptr);

    // Reads which analytes the table holds (off the user-interface thread),
    // then asks.
    void mnuColumns_Click();
    void mnuFindValue_Click();
    void mnuSortValue_Click();
    ValueColumns* columns() const { return values_; }

private:
    using Held = std::vector<engine::Database::AnalyteCount>;
    // Reads which analytes the table holds (off the user-interface
    // thread), then goes on if the table is still the one shown.
    // counted: with how many values each has, which reads every value.
    void readHeld(const QString& title, bool counted, std::function<void(const Held&)> then);
    void findOrSort(bool find);
    void followTable();
    void show(const std::vector<ValueColumns::Choice>& choices);
    QString settingsKey() const;

    MainForm& form_;
    ValueColumns* values_;
    QString shownFor_; // the table the columns were chosen for
};
