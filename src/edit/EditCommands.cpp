// Record editing: edit mode, new and deleted rows, copy.
#include "app/MainMenu.h"
#include "app/QuarzelDatabase.h"
#include "platform/clipboard/Clipboard.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/db/Recordset.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/dialogs/Screen.h"
#include "schema/Schema.h"

#include <QAction>
#include <QLabel>

void QuarzelDatabase::mnuEdit2_Click(short Index) {
    if (Index == 0) {
        Data1->setReadOnly(false);
        showEditMode(true);
    } else if (Index == 1) {
        showEditMode(false);
        Data1->setReadOnly(true);
    } else {
        return;
    }
    try {
        // The refresh writes back an edit still pending in the grid first.
        Data1->Refresh();
        ApplyGridLayout(false);
    } catch (const std::exception& e) {
        // The menu, the record items and the grid say the same thing
        // afterwards: editing ends for sure; it begins only with a new
        // record set to write to.
        if (Index == 1)
            Data1->lockRecordset();
        const bool writable = !Data1->recordsetReadOnly();
        Data1->setReadOnly(!writable);
        showEditMode(writable);
        MessageBox::Show(QString::fromStdString(e.what()), 48, "DataBase Error");
        Screen::setMousePointer(0);
    }
}

void QuarzelDatabase::showEditMode(bool enabled) {
    menu_->item("mnuRecord", 0)->setEnabled(enabled);
    menu_->item("mnuRecord", 1)->setEnabled(enabled);
    menu_->item("mnuEdit2", 0)->setChecked(enabled);
    menu_->item("mnuEdit2", 1)->setChecked(!enabled);
}

void QuarzelDatabase::mnuRecord_Click(short Index) {
    if (Index != 0 && Index != 1)
        return;
    try {
        if (Index == 0) {
            auto& added = Data1->Recordset();
            added.AddNew();
            const auto key = added.Update();
            Data1->Refresh();
            MessageBox::Show("Name of New Record is 'Empty'", 64, "Add Record");
            // The new row is found by its key; when the view does not hold
            // it (a search it does not meet), the first row stays current.
            auto& rs = Data1->Recordset();
            const long row = rs.engine().indexOfKey(key);
            if (row >= 0)
                rs.setAbsolutePosition(row);
            updateCountLabel();
        } else {
            auto& rs = Data1->Recordset();
            if (rs.RecordCount() == 0) {
                MessageBox::Show("Empty Database", 16, "Empty Database");
                return;
            }
            rs.Delete();
            if (rs.RecordCount() > 0) {
                rs.MoveNext();
                if (rs.IsEOF())
                    rs.MoveLast(); // the last row went: the new last row is current
            }
            ApplyGridLayout(false);
            updateCountLabel();
        }
    } catch (const std::exception& e) {
        MessageBox::Show(QString::fromStdString(e.what()), 48, "DataBase Error");
        Screen::setMousePointer(0);
    }
}

void QuarzelDatabase::updateCountLabel() {
    const QString suffix = Label3->text().endsWith(" Matches") ? " Matches" : " Records";
    showRecordCount(Data1->Recordset().RecordCount(), suffix);
}

void QuarzelDatabase::mnuEdit1_Click(short) {
    try {
        QString text;
        for (int i = 0; i < schema::kColumnCount; ++i) {
            vaSpread1->setCol(i);
            text += '\t' + vaSpread1->Text();
        }
        Clipboard::Clear();
        Clipboard::SetText(text);
        vaSpread1->setCol(0);
    } catch (const std::exception&) {
        // Copy fails silently; the clipboard keeps what it had.
    }
}
