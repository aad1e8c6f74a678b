// Record selection: the active table set, the search bar and the sorts.
#include "SelectionController.h"

#include "SearchStatement.h"
#include "TableSet.h"
#include "form/Globals.h"
#include "form/MainForm.h"
#include "platform/data/DataControl.h"
#include "platform/dialogs/Guarded.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/dialogs/Screen.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using Then = MainForm::Then;
using Failed = MainForm::Failed;

SelectionController::SelectionController(MainForm& form) : form_(form) {
    QWidget* context = form.formWidget();
    auto on = [&](const QString& name, int index, auto handler) {
        QObject::connect(form.menuItem(name, index), &QAction::triggered, context,
                         guarded(handler));
    };
    for (short i = 0; i < 4; ++i)
        on("mnuActive1", i, [this, i] { mnuActive1_Click(i); });
    on("mnuRockname", -1, [this] { mnuRockname_Click(); });
    on("mnuGeologist", -1, [this] { mnuGeologist_Click(); });
    on("mnuDate", -1, [this] { mnuDate_Click(); });
    on("mnuLocation", -1, [this] { mnuLocation_Click(); });
    on("mnuSample", -1, [this] { mnuSample_Click(); });
    on("mnuRocknameD", -1, [this] { mnuRocknameD_Click(); });
    on("mnuGeologistD", -1, [this] { mnuGeologistD_Click(); });
    on("mnuDateD", -1, [this] { mnuDateD_Click(); });
    on("mnuLocationD", -1, [this] { mnuLocationD_Click(); });
    on("mnuSampleD", -1, [this] { mnuSampleD_Click(); });
    for (short i = 0; i < 2; ++i)
        QObject::connect(form.Command1[i], &QPushButton::clicked, context,
                         guarded([this, i] { Command1_Click(i); }));
}

// Each command starts its engine work and returns; it finishes when the
// view's count is known, at once for the usual quick answer.
void SelectionController::mnuActive1_Click(short Index) {
    const QString active = TableSet::activeValue(Index);
    if (active.isEmpty() || !form_.beginCommand())
        return;
    const Failed failed = [this](const QString& text) {
        MessageBox::Show(text, 48, "DataBase Error");
        Screen::setMousePointer(0);
        form_.endCommand();
    };
    try {
        form_.Data1->setRecordSource(TableSet::wholeTableStatement(active));
        form_.Data1->beginRefresh();
        form_.countAndRewind(
            [this, active, Index] {
                ActiveDatabase = active;
                for (int i = 0; i < TableSet::kCount; ++i)
                    form_.menuItem("mnuActive1", i)->setChecked(i == Index);
                form_.ApplyGridLayout(false);
                form_.endCommand();
            },
            failed);
    } catch (const std::exception& e) {
        failed(QString::fromStdString(e.what()));
    }
}

void SelectionController::Command1_Click(short Index) {
    if (!form_.beginCommand())
        return;
    Screen::setMousePointer(11);
    const QString whole = TableSet::wholeTableStatement(ActiveDatabase);
    const QString previousSource = form_.Data1->RecordSource();
    const QString previousLabel = form_.Label3->text();
    const Then done = [this] {
        form_.ApplyGridLayout(false);
        Screen::setMousePointer(0);
        form_.endCommand();
    };
    // The view and label stay as they were before the click.
    const Failed failed = [this, previousSource, previousLabel](const QString& text) {
        form_.Data1->setRecordSource(previousSource);
        form_.Label3->setText(previousLabel);
        MessageBox::Show(text, 48, "Search Error");
        Screen::setMousePointer(0);
        form_.endCommand();
    };
    try {
        if (!whole.isEmpty() && Index == 1) {
            form_.Data1->setRecordSource(whole);
            form_.Data1->beginRefresh();
            form_.countAndRewind(done, failed);
        } else if (!whole.isEmpty() && Index == 0) {
            const QString statement =
                SearchStatement::build(ActiveDatabase, form_.Combo1->currentText(),
                                       form_.Text1[0]->text(), form_.Text1[1]->text());
            showMatches(form_, statement, done, failed);
        } else {
            done();
        }
    } catch (const std::exception& e) {
        failed(QString::fromStdString(e.what()));
    }
}

void SelectionController::showMatches(MainForm& form, const QString& statement, Then done,
                                      Failed failed) {
    if (!statement.isEmpty())
        form.Data1->setRecordSource(statement);
    form.Data1->beginRefresh();
    const QString whole = TableSet::wholeTableStatement(ActiveDatabase);
    form.afterCount(
        [&form, whole, done, failed] {
            const long count = form.Data1->Recordset().RecordCount();
            if (count != 0) {
                form.showRecordCount(count, " Matches");
                done();
                return;
            }
            // The whole table is already listed while the message is open.
            form.Data1->setRecordSource(whole);
            form.Data1->Refresh();
            MessageBox::Show("No Matches, Try Entering Different Search Terms", 64, "No Matches");
            form.countAndRewind(done, failed);
        },
        failed);
}

void SelectionController::sortBy(const QString& orderClause) {
    if (!form_.beginCommand())
        return;
    Screen::setMousePointer(11);
    const Failed failed = [this](const QString& text) {
        MessageBox::Show(text, 48, "Search Error");
        Screen::setMousePointer(0);
        form_.endCommand();
    };
    try {
        form_.Data1->setDatabaseName(form_.DatabasePath);
        form_.RefreshRecordView(
            "SELECT * From [DOZIRO1]" + orderClause,
            [this] {
                Screen::setMousePointer(0);
                form_.endCommand();
            },
            failed);
    } catch (const std::exception& e) {
        failed(QString::fromStdString(e.what()));
    }
}

void SelectionController::mnuRockname_Click() {
    sortBy("Order By [Rockname] ASC");
}
void SelectionController::mnuGeologist_Click() {
    sortBy("Order By [Geologist] ASC");
}
void SelectionController::mnuDate_Click() {
    sortBy("Order By [Date] ASC");
}
void SelectionController::mnuLocation_Click() {
    sortBy("Order By [Location] ASC");
}
void SelectionController::mnuSample_Click() {
    sortBy("Order By [Doziro Sample#] ASC");
}
void SelectionController::mnuRocknameD_Click() {
    sortBy("Order By [Rockname] DESC");
}
void SelectionController::mnuGeologistD_Click() {
    sortBy("Order By [Geologist] DESC");
}
void SelectionController::mnuDateD_Click() {
    sortBy("Order By [Date] DESC");
}
void SelectionController::mnuLocationD_Click() {
    sortBy("Order By [Location] DESC");
}
void SelectionController::mnuSampleD_Click() {
    sortBy("Order By [Doziro Sample#] DESC");
}
