#pragma once

#include "form/MainForm.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <memory>

class AboutController;
class EditController;
class MainMenu;
class PrintController;
class SelectionController;
class ToolsController;
class UpdateController;

// The main window: the results grid, the search bar, the record-count label
// and the data control in one frame, and the File, Edit, Tools and Help
// menus. It starts and ends the program, keeps the record view and the
// grid layout, and hands each menu's commands to the controller of its
// subsystem (query/, edit/, print/, about/, update/, and the Tools menu's
// here), which sees the window as a MainForm.
class QuarzelDatabase : public QMainWindow, public MainForm {
    Q_OBJECT
public:
    explicit QuarzelDatabase(QWidget* parent = nullptr);
    ~QuarzelDatabase() override;

    MainMenu* menu() const { return menu_.get(); }

    // Start-up and shutdown.
    void Form_Load();
    void Form_QueryUnload(int& cancel, int unloadMode);
    void Form_Unload(int& cancel);
    void mnuExit_Click();

    // The record view and the busy state (see MainForm).
    QWidget* formWidget() override { return this; }
    QAction* menuItem(const QString& name, int index = -1) const override;
    void RefreshRecordView(const QString& recordSource, Then then = {},
                           Failed failed = {}) override;
    void ApplyGridLayout(bool startUp) override;
    void countAndRewind(Then then, Failed failed) override;
    void afterCount(Then step, Failed failed) override;
    void afterKeys(Then step, Failed failed) override;
    bool beginCommand() override;
    void endCommand() override;
    bool busy() const override { return busy_; }
    bool closing() const override { return closing_; }
    void showRecordCount(long count, const QString& suffix) override;
    void updateCountLabel() override;

    // The subsystems' controllers.
    SelectionController& selection() const { return *selection_; }
    EditController& editing() const { return *editing_; }
    PrintController& printing() const { return *printing_; }
    AboutController& about() const { return *about_; }
    UpdateController& updates() const { return *updates_; }
    ToolsController& tools() const { return *tools_; }

signals:
    void commandFinished(); // a command that waited has ended

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void startFailed(const QString& text);
    void superseded(); // a command's view was replaced before its answer came
    // Menus, search bar, navigation bar and cell editing, all at once.
    void setCommandSurfaceEnabled(bool enabled);

    std::unique_ptr<MainMenu> menu_;
    std::unique_ptr<SelectionController> selection_;
    std::unique_ptr<EditController> editing_;
    std::unique_ptr<PrintController> printing_;
    std::unique_ptr<AboutController> about_;
    std::unique_ptr<UpdateController> updates_;
    std::unique_ptr<ToolsController> tools_;
    bool centred_ = false;
    bool closing_ = false; // a close waits for work under way to be cancelled
    bool busy_ = false;
    // Where the keyboard focus was when a command began, and where disabling
    // the command surface put it: given back at the command's end unless
    // the user moved it meanwhile.
    QPointer<QWidget> focusBefore_, focusMoved_;
};
