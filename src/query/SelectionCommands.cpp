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

void QuarzelDatabase::mnuActive1_Click(short Index) {
    const QString active = TableSet::activeValue(Index);
    if (active.isEmpty())
        return;
    try {
        Data1->setRecordSource(TableSet::wholeTableStatement(active));
        Data1->Refresh();
        countAndRewind();
        ActiveDatabase = active;
        for (int i = 0; i < TableSet::kCount; ++i)
            menu_->item("mnuActive1", i)->setChecked(i == Index);
        ApplyGridLayout(false);
    } catch (const std::exception& e) {
        MessageBox::Show(QString::fromStdString(e.what()), 48, "DataBase Error");
        Screen::setMousePointer(0);
    }
}

void QuarzelDatabase::Command1_Click(short Index) {
    Screen::setMousePointer(11);
    const QString whole = TableSet::wholeTableStatement(ActiveDatabase);
    const QString previousSource = Data1->RecordSource();
    const QString previousLabel = Label3->text();
    try {
        if (!whole.isEmpty() && Index == 1) {
            Data1->setRecordSource(whole);
            Data1->Refresh();
            countAndRewind();
        } else if (!whole.isEmpty() && Index == 0) {
            const QString statement = SearchStatement::build(ActiveDatabase, Combo1->currentText(),
                                                             Text1[0]->text(), Text1[1]->text());
            if (!statement.isEmpty())
                Data1->setRecordSource(statement);
            Data1->Refresh();
            if (Data1->Recordset().RecordCount() != 0) {
                showRecordCount(Data1->Recordset().RecordCount(), " Matches");
            } else {
                // The whole table is already listed while the message is open.
                Data1->setRecordSource(whole);
                Data1->Refresh();
                MessageBox::Show("No Matches, Try Entering Different Search Terms", 64,
                                 "No Matches");
                countAndRewind();
            }
        }
        ApplyGridLayout(false);
    } catch (const std::exception& e) {
        // The view and label stay as they were before the click.
        Data1->setRecordSource(previousSource);
        Label3->setText(previousLabel);
        MessageBox::Show(QString::fromStdString(e.what()), 48, "Search Error");
    }
    Screen::setMousePointer(0);
}

void QuarzelDatabase::sortBy(const QString& orderClause) {
    Screen::setMousePointer(11);
    try {
        Data1->setDatabaseName(DatabasePath);
        RefreshRecordView("SELECT * From [DOZIRO1]" + orderClause);
    } catch (const std::exception& e) {
        MessageBox::Show(QString::fromStdString(e.what()), 48, "Search Error");
    }
    Screen::setMousePointer(0);
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
