#pragma once

#include <QString>

#include <array>
#include <functional>

class DBGrid;
class DataControl;
class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The main window as the subsystems' commands see it: its controls by
// their names, its menu items, the record view every query ends with, and
// the busy state of a command that waits for the engine. The window (in
// app/) implements it; the commands' controllers (query/, edit/, print/,
// about/, update/) know only this.
class MainForm {
public:
    using Then = std::function<void()>;
    using Failed = std::function<void(const QString&)>;

    // Controls, by their names.
    QGroupBox* Frame1 = nullptr;
    DBGrid* vaSpread1 = nullptr;
    DataControl* Data1 = nullptr;
    QLabel* Label1 = nullptr;
    std::array<QLabel*, 2> Label2{};
    QLabel* Label3 = nullptr;
    std::array<QLineEdit*, 2> Text1{};
    QComboBox* Combo1 = nullptr;
    std::array<QPushButton*, 2> Command1{};

    QString DatabasePath;

    // The window itself: the owner of the commands' dialogs and the
    // context of their connections.
    virtual QWidget* formWidget() = 0;
    // Throws std::out_of_range for an unknown item.
    virtual QAction* menuItem(const QString& name, int index = -1) const = 0;

    // The record view every query ends with. It finishes when the view's
    // count is known (at once for the usual quick answer): then runs, or
    // failed gets the engine's description. A refused statement throws.
    virtual void RefreshRecordView(const QString& recordSource, Then then = {},
                                   Failed failed = {}) = 0;
    virtual void ApplyGridLayout(bool startUp) = 0;
    // Steps 3 to 5 of the record view: last row, count label, first row.
    virtual void countAndRewind(Then then, Failed failed) = 0;
    // Runs step when the view's count is known; what it throws goes to
    // failed. A command superseded meanwhile by another view just ends.
    virtual void afterCount(Then step, Failed failed) = 0;
    // The same, when every key of the view is read.
    virtual void afterKeys(Then step, Failed failed) = 0;

    // One command at a time: beginCommand is false while another is under
    // way. Meanwhile menus, search bar, navigation bar and cell editing are
    // disabled; a close waits for endCommand.
    virtual bool beginCommand() = 0;
    virtual void endCommand() = 0;
    virtual bool busy() const = 0;
    // Whether a close waits for work under way to end or be cancelled.
    virtual bool closing() const = 0;

    virtual void showRecordCount(long count, const QString& suffix) = 0;
    // The view's row count, keeping the label's suffix; waits for it.
    virtual void updateCountLabel() = 0;

protected:
    ~MainForm() = default;
};
