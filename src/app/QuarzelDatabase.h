#pragma once

#include <QMainWindow>
#include <QString>

#include <array>
#include <functional>
#include <memory>

class DBGrid;
class DataControl;
class MainMenu;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TasWindow;
class frmAbout;
class frmFTP;
struct ImportPlan;
namespace engine {
class Database;
}
class PrintDialog;

// The main window: the results grid, the search bar, the record-count label
// and the data control in one frame, and the File, Edit, Tools and Help
// menus. Every command of the program starts here; the handlers of each
// subsystem live in that subsystem's folder. A command that needs the
// engine's answer (the count of a new view) starts the work and finishes in
// a slot; while it is under way the window is busy: its command surface is
// disabled and a close waits for it.
class QuarzelDatabase : public QMainWindow {
    Q_OBJECT
public:
    explicit QuarzelDatabase(QWidget* parent = nullptr);
    ~QuarzelDatabase() override;

    // Controls, by their names.
    QGroupBox* Frame1;
    DBGrid* vaSpread1;
    DataControl* Data1;
    QLabel* Label1;
    std::array<QLabel*, 2> Label2;
    QLabel* Label3;
    std::array<QLineEdit*, 2> Text1;
    QComboBox* Combo1;
    std::array<QPushButton*, 2> Command1;
    std::unique_ptr<PrintDialog> CommonDialog1;
    MainMenu* menu() const { return menu_.get(); }

    QString DatabasePath;

    // Start-up and shutdown.
    void Form_Load();
    void Form_QueryUnload(int& cancel, int unloadMode);
    void Form_Unload(int& cancel);
    void mnuExit_Click();

    // The record view every query ends with. It finishes when the view's
    // count is known (at once for the usual quick answer): then runs, or
    // failed gets the engine's description. A refused statement throws.
    using Then = std::function<void()>;
    using Failed = std::function<void(const QString&)>;
    void RefreshRecordView(const QString& recordSource, Then then = {}, Failed failed = {});
    void ApplyGridLayout(bool startUp);
    // Whether a command waits for the engine; its menus, buttons, search
    // boxes and cell editing are disabled meanwhile.
    bool busy() const { return busy_; }

    // Record selection.
    void mnuActive1_Click(short Index);
    void Command1_Click(short Index);
    void mnuRockname_Click();
    void mnuGeologist_Click();
    void mnuDate_Click();
    void mnuLocation_Click();
    void mnuSample_Click();
    void mnuRocknameD_Click();
    void mnuGeologistD_Click();
    void mnuDateD_Click();
    void mnuLocationD_Click();
    void mnuSampleD_Click();

    // Record editing.
    void mnuEdit2_Click(short Index);
    void mnuRecord_Click(short Index);
    void mnuEdit1_Click(short Index);

    // Printing.
    void mnuPrint_Click(short Index);
    void Printdata1();
    void PrintData();

    // Help, web and About; the update window.
    void mnuHelpContents_Click();
    void mnuInternet_Click();
    void mnuAbout_Click();
    void ShowUpdateWindow();

    // Tools.
    void mnuTas_Click();
    void mnuImport_Click();
    void mnuExport_Click();
    // Import into the active table and export of the view, without the
    // file dialogs. Each starts its work and returns; exchangeFinished
    // tells whether it was done (false: refused, failed or cancelled).
    void importCsv(const QString& file);
    void exportView(const QString& file);
    // The active table as the Active Database menu names it ("Geochem").
    QString activeTableName() const;
    TasWindow* tasWindow() const { return tas_; }
    frmAbout* aboutWindow() const { return about_; }
    frmFTP* updateWindow() const { return ftp_; }

signals:
    void exchangeFinished(bool done);
    void commandFinished(); // a command that waited has ended

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    void wireMenu();
    void buildToolsMenu();
    void askAndImport(std::shared_ptr<ImportPlan> plan, const QString& table,
                      std::shared_ptr<engine::Database> database);
    void sortBy(const QString& orderClause);
    // The values the grid shows in the given columns of the current row.
    QStringList readCurrentRow(int columns);
    // The centred title, then the date, the time and an empty line.
    void printHeading(double bodySize);
    void printCentred(const QString& text);
    void printPair(const QString& label, const QString& value);
    // Steps 3 to 5 of the record view: last row, count label, first row.
    void countAndRewind(Then then, Failed failed);
    // Runs step when the view's count is known; what it throws goes to failed.
    void afterCount(Then step, Failed failed);
    bool beginCommand(); // false while another command is under way
    void endCommand();
    void startFailed(const QString& text);
    // Menus, search bar, navigation bar and cell editing, all at once.
    void setCommandSurfaceEnabled(bool enabled);
    void showRecordCount(long count, const QString& suffix);
    // The view's row count, keeping the label's suffix.
    void updateCountLabel();
    // Check marks and record items of the edit mode.
    void showEditMode(bool enabled);

    std::unique_ptr<MainMenu> menu_;
    frmAbout* about_ = nullptr;
    frmFTP* ftp_ = nullptr;
    TasWindow* tas_ = nullptr;
    bool centred_ = false;
    bool closing_ = false; // a close waits for work under way to be cancelled
    bool busy_ = false;
};
