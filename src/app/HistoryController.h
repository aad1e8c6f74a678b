#pragma once

#include "HistoryDialog.h"

#include <QObject>

class MainForm;

// "Tools > History...": reads the current sample's history and the table's
// deletions off the user-interface thread, asks which change to undo or
// which sample to bring back, and does it on a connection of its own. The
// sample is named by its key throughout; the grid is refreshed after.
class HistoryController : public QObject {
    Q_OBJECT
public:
    explicit HistoryController(MainForm& form, QObject* parent = nullptr);
    void mnuHistory_Click();

private:
    void restore(const std::string& table, const HistoryDialog::Choice& choice);
    void refreshView(std::int64_t key);
    // Makes the sample current if its key is read; false otherwise.
    bool goTo(std::int64_t key);

    MainForm& form_;
};
