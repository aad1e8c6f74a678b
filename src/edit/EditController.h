#pragma once

#include <QString>

#include <functional>

class MainForm;

// Record editing: the edit mode, new and deleted rows, and the copy of the
// current row.
class EditController {
public:
    // Connects the Edit menu's items.
    explicit EditController(MainForm& form);

    void mnuEdit2_Click(short Index);
    void mnuRecord_Click(short Index);
    void mnuEdit1_Click(short Index);

private:
    void addRecord();
    void commandFailed(const QString& text); // the message, and the command ends
    void deleteRecord();
    // Check marks and record items of the edit mode.
    void showEditMode(bool enabled);
    // Runs step once the view is read whole and counted, as a write needs.
    void afterIdle(std::function<void()> step, std::function<void(const QString&)> failed);

    MainForm& form_;
};
