// Record selection: the active table set, the search bar and the sorts.
#include "SearchStatement.h"
#include "TableSet.h"
#include "app/Globals.h"
#include "app/MainMenu.h"
#include "app/QuarzelDatabase.h"
#include "platform/data/DataControl.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/dialogs/Screen.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

// Each command starts its engine work and returns; it finishes when the
// view's count is known, at once for the usual quick answer.
void QuarzelDatabase::mnuActive1_Click(short Index) {
    const QString active = TableSet::activeValue(Index);
    if (active.isEmpty() || !beginCommand())
        return;
    const Failed failed = [this](const QString& text) {
        MessageBox::Show(text, 48, "DataBase Error");
        Screen::setMousePointer(0);
        endCommand();
    };
    try {
        Data1->setRecordSource(TableSet::wholeTableStatement(active));
        Data1->Refresh();
        countAndRewind(
            [this, active, Index] {
                ActiveDatabase = active;
                for (int i = 0; i < TableSet::kCount; ++i)
                    menu_->item("mnuActive1", i)->setChecked(i == Index);
                ApplyGridLayout(false);
                endCommand();
            },
            failed);
    } catch (const std::exception& e) {
        failed(QString::fromStdString(e.what()));
    }
}

void QuarzelDatabase::Command1_Click(short Index) {
    if (!beginCommand())
        return;
    Screen::setMousePointer(11);
    const QString whole = TableSet::wholeTableStatement(ActiveDatabase);
    const QString previousSource = Data1->RecordSource();
    const QString previousLabel = Label3->text();
    const Then done = [this] {
        ApplyGridLayout(false);
        Screen::setMousePointer(0);
        endCommand();
    };
    // The view and label stay as they were before the click.
    const Failed failed = [this, previousSource, previousLabel](const QString& text) {
        Data1->setRecordSource(previousSource);
        Label3->setText(previousLabel);
        MessageBox::Show(text, 48, "Search Error");
        Screen::setMousePointer(0);
        endCommand();
    };
    try {
        if (!whole.isEmpty() && Index == 1) {
            Data1->setRecordSource(whole);
            Data1->Refresh();
            countAndRewind(done, failed);
        } else if (!whole.isEmpty() && Index == 0) {
            const QString statement = SearchStatement::build(ActiveDatabase, Combo1->currentText(),
                                                             Text1[0]->text(), Text1[1]->text());
            if (!statement.isEmpty())
                Data1->setRecordSource(statement);
            Data1->Refresh();
            afterCount(
                [this, whole, done, failed] {
                    const long count = Data1->Recordset().RecordCount();
                    if (count != 0) {
                        showRecordCount(count, " Matches");
                        done();
                        return;
                    }
                    // The whole table is already listed while the message is open.
                    Data1->setRecordSource(whole);
                    Data1->Refresh();
                    MessageBox::Show("No Matches, Try Entering Different Search Terms", 64,
                                     "No Matches");
                    countAndRewind(done, failed);
                },
                failed);
        } else {
            done();
        }
    } catch (const std::exception& e) {
        failed(QString::fromStdString(e.what()));
    }
}

void QuarzelDatabase::sortBy(const QString& orderClause) {
    if (!beginCommand())
        return;
    Screen::setMousePointer(11);
    const Failed failed = [this](const QString& text) {
        MessageBox::Show(text, 48, "Search Error");
        Screen::setMousePointer(0);
        endCommand();
    };
    try {
        Data1->setDatabaseName(DatabasePath);
        RefreshRecordView(
            "SELECT * From [DOZIRO1]" + orderClause,
            [this] {
                Screen::setMousePointer(0);
                endCommand();
            },
            failed);
    } catch (const std::exception& e) {
        failed(QString::fromStdString(e.what()));
    }
}

void QuarzelDatabase::mnuRockname_Click() {
    sortBy("Order By [Rockname] ASC");
}
void QuarzelDatabase::mnuGeologist_Click() {
    sortBy("Order By [Geologist] ASC");
}
void QuarzelDatabase::mnuDate_Click() {
    sortBy("Order By [Date] ASC");
}
void QuarzelDatabase::mnuLocation_Click() {
    sortBy("Order By [Location] ASC");
}
void QuarzelDatabase::mnuSample_Click() {
    sortBy("Order By [Doziro Sample#] ASC");
}
void QuarzelDatabase::mnuRocknameD_Click() {
    sortBy("Order By [Rockname] DESC");
}
void QuarzelDatabase::mnuGeologistD_Click() {
    sortBy("Order By [Geologist] DESC");
}
void QuarzelDatabase::mnuDateD_Click() {
    sortBy("Order By [Date] DESC");
}
void QuarzelDatabase::mnuLocationD_Click() {
    sortBy("Order By [Location] DESC");
}
void QuarzelDatabase::mnuSampleD_Click() {
    sortBy("Order By [Doziro Sample#] DESC");
}
