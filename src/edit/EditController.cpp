// Record editing: edit mode, new and deleted rows, copy.
#include "EditController.h"

#include "form/MainForm.h"
#include "platform/clipboard/Clipboard.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/dialogs/Guarded.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/dialogs/Screen.h"
#include "query/TableSet.h"
#include "schema/Schema.h"

#include <QAction>
#include <QLabel>

EditController::EditController(MainForm& form) : form_(form) {
    QWidget* context = form.formWidget();
    auto on = [&](const QString& name, int index, auto handler) {
        QObject::connect(form.menuItem(name, index), &QAction::triggered, context,
                         guarded(handler));
    };
    on("mnuEdit1", 2, [this] { mnuEdit1_Click(2); });
    for (short i = 0; i < 2; ++i) {
        on("mnuEdit2", i, [this, i] { mnuEdit2_Click(i); });
        on("mnuRecord", i, [this, i] { mnuRecord_Click(i); });
    }
}

void EditController::mnuEdit2_Click(short Index) {
    DataControl* Data1 = form_.Data1;
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
        form_.ApplyGridLayout(false);
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

void EditController::showEditMode(bool enabled) {
    form_.menuItem("mnuRecord", 0)->setEnabled(enabled);
    form_.menuItem("mnuRecord", 1)->setEnabled(enabled);
    form_.menuItem("mnuEdit2", 0)->setChecked(enabled);
    form_.menuItem("mnuEdit2", 1)->setChecked(!enabled);
}

void EditController::afterIdle(std::function<void()> step,
                               std::function<void(const QString&)> failed) {
    form_.afterKeys([this, step, failed] { form_.afterCount(step, failed); }, failed);
}

void EditController::commandFailed(const QString& text) {
    MessageBox::Show(text, 48, "DataBase Error");
    Screen::setMousePointer(0);
    form_.endCommand();
}

void EditController::mnuRecord_Click(short Index) {
    if (Index == 0)
        addRecord();
    else if (Index == 1)
        deleteRecord();
}

namespace {

// The whole-table listing of the table a view shows.
QString wholeTableOf(const std::string& table) {
    for (int i = 0; i < TableSet::kCount; ++i) {
        const QString active = TableSet::activeValue(i);
        if (TableSet::table(active).compare(QString::fromStdString(table), Qt::CaseInsensitive) ==
            0)
            return TableSet::wholeTableStatement(active);
    }
    return {};
}

} // namespace

// A write waits for the view to be read whole; the command waits for it
// in a slot, with the window busy, never inside the write.
void EditController::addRecord() {
    if (!form_.beginCommand())
        return;
    const auto failed = [this](const QString& text) { commandFailed(text); };
    afterIdle(
        [this, failed] {
            DataControl* Data1 = form_.Data1;
            auto& added = Data1->Recordset();
            added.AddNew();
            const auto key = added.Update();
            Data1->Refresh();
            MessageBox::Show("Name of New Record is 'Empty'", 64, "Add Record");
            // The new row is found by its key and made current, the grid laid
            // out again (the refresh gave it its defaults). A view that does
            // not hold it (a search it does not meet) gives way to its whole
            // table, so that the row can be seen and filled in.
            form_.afterKeys(
                [this, key, failed] {
                    auto& rs = form_.Data1->Recordset();
                    const long row = form_.Data1->view()->indexOf(key); // every key is in
                    if (row >= 0) {
                        rs.setAbsolutePosition(row);
                        form_.ApplyGridLayout(false);
                        form_.afterCount(
                            [this] {
                                form_.updateCountLabel();
                                form_.endCommand();
                            },
                            failed);
                        return;
                    }
                    const QString whole = wholeTableOf(form_.Data1->view()->table());
                    if (whole.isEmpty()) {
                        form_.endCommand();
                        return;
                    }
                    form_.RefreshRecordView(
                        whole,
                        [this, key, failed] {
                            form_.afterKeys(
                                [this, key] {
                                    auto& all = form_.Data1->Recordset();
                                    const long at = form_.Data1->view()->indexOf(key);
                                    if (at >= 0)
                                        all.setAbsolutePosition(at);
                                    form_.endCommand();
                                },
                                failed);
                        },
                        failed);
                },
                failed);
        },
        failed);
}

void EditController::deleteRecord() {
    if (!form_.beginCommand())
        return;
    const auto failed = [this](const QString& text) { commandFailed(text); };
    afterIdle(
        [this] {
            auto& rs = form_.Data1->Recordset();
            if (rs.RecordCount() == 0) {
                MessageBox::Show("Empty Database", 16, "Empty Database");
                form_.endCommand();
                return;
            }
            rs.Delete();
            if (rs.RecordCount() > 0) {
                rs.MoveNext();
                if (rs.IsEOF())
                    rs.MoveLast(); // the last row went: the new last row is current
            }
            form_.ApplyGridLayout(false);
            form_.updateCountLabel();
            form_.endCommand();
        },
        failed);
}

void EditController::mnuEdit1_Click(short) {
    DBGrid* vaSpread1 = form_.vaSpread1;
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
