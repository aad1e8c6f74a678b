// The Tools menu: commands beside the original menus (between Edit and
// Help), which leave every other menu as it is.
#include "QuarzelDatabase.h"
#include "diagram/TasWindow.h"
#include "platform/data/DBGrid.h"
#include "platform/dialogs/Guarded.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

void QuarzelDatabase::buildToolsMenu() {
    QAction* help = nullptr;
    for (QAction* a : menuBar()->actions())
        if (a->text() == "&Help")
            help = a;
    auto* tools = new QMenu("&Tools", this);
    tools->setObjectName("mnuTools");
    menuBar()->insertMenu(help, tools);
    QAction* tas = tools->addAction("&TAS Diagram...");
    tas->setObjectName("mnuTas");
    tas->setShortcut(QKeySequence("Ctrl+T"));
    connect(tas, &QAction::triggered, this, guarded([this] { mnuTas_Click(); }));
    tools->addSeparator();
    QAction* import = tools->addAction("&Import CSV...");
    import->setObjectName("mnuImport");
    connect(import, &QAction::triggered, this, guarded([this] { mnuImport_Click(); }));
    QAction* exportView = tools->addAction("&Export View...");
    exportView->setObjectName("mnuExport");
    connect(exportView, &QAction::triggered, this, guarded([this] { mnuExport_Click(); }));
}

void QuarzelDatabase::mnuTas_Click() {
    if (!tas_)
        tas_ = new TasWindow(Data1, vaSpread1->recordsetModel()); // no owner, like the About window
    tas_->show();
    tas_->raise();
    tas_->activateWindow();
}
