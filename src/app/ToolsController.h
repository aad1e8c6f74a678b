#pragma once

#include "norm/Iron.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class MainForm;
class QMenuBar;
class NormWindow;
class DiagramWindow;
class ValueColumnsController;
class HistoryController;
class FileCheckController;
struct ImportPlan;
namespace engine {
class Database;
}

// The Tools menu, between Edit and Help: the TAS diagram and the others, the CIPW norm of
// the current row, the import of a CSV file or a workbook's sheet into the
// active table and the export of the view. The other menus stay as they
// are.
class ToolsController : public QObject {
    Q_OBJECT
public:
    // Builds the Tools menu on the window's menu bar.
    ToolsController(MainForm& form, QMenuBar* bar);
    ~ToolsController() override; // the diagram window ends with the program

    void mnuTas_Click();      // the diagram window, showing TAS
    void mnuDiagrams_Click(); // the diagram window, showing its choice
    void mnuNorm_Click();
    void mnuImport_Click();
    void mnuExport_Click();
    // Import into the active table and export of the view, without the
    // file dialogs. Each starts its work and returns; exchangeFinished
    // tells whether it was done (false: refused, failed or cancelled).
    void importCsv(const QString& file);
    // withNorm: each row's CIPW norm and refined name after its columns.
    void exportView(const QString& file, bool withNorm = false);
    // The active table as the Active Database menu names it ("Geochem").
    QString activeTableName() const;
    DiagramWindow* diagramWindow() const { return tas_; }
    NormWindow* normWindow() const { return norm_; }
    ValueColumnsController* valueColumns() const { return columns_; }
    FileCheckController* fileCheck() const { return check_; }

signals:
    void exchangeFinished(bool done);

private:
    // Reads the file through (with the user's mapping and a workbook's
    // sheet, if any), then asks.
    void readAndAsk(const QString& file, const std::vector<int>& mapping, const QString& sheet);
    void askAndImport(std::shared_ptr<ImportPlan> plan, const QString& table,
                      std::shared_ptr<engine::Database> database);
    void refreshAfterImport();
    // The export proper, once every key of the view is in.
    void exportSnapshot(const QString& file, bool withNorm);
    void showDiagrams();
    norm::IronChoice exportIron() const;

    MainForm& form_;
    DiagramWindow* tas_ = nullptr; // no owner window, like the About window
    NormWindow* norm_ = nullptr;
    ValueColumnsController* columns_ = nullptr;
    HistoryController* history_ = nullptr;
    FileCheckController* check_ = nullptr;
};
