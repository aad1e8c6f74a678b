// The record view that every query ends with, the grid column layout, and
// the busy state of a command that waits for the engine.
#include "FileCheckController.h"
#include "QuarzelDatabase.h"
#include "ToolsController.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/dialogs/Screen.h"
#include "schema/Column.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

void QuarzelDatabase::RefreshRecordView(const QString& recordSource, Then then, Failed failed) {
    Data1->setRecordSource(recordSource);
    Data1->beginRefresh();
    countAndRewind(
        [this, then] {
            ApplyGridLayout(false);
            if (then)
                then();
        },
        failed);
}

namespace {

// A step that reports what it throws to failed.
std::function<void()> reporting(MainForm::Then step, MainForm::Failed failed) {
    return [step, failed] {
        try {
            step();
        } catch (const std::exception& e) {
            failed(QString::fromStdString(e.what()));
        }
    };
}

} // namespace

// The step runs when the engine has answered; a command superseded by
// another record set meanwhile just ends.
void QuarzelDatabase::afterCount(Then step, Failed failed) {
    Data1->whenCounted(this, reporting(step, failed), [this] { superseded(); }, failed);
}

void QuarzelDatabase::afterKeys(Then step, Failed failed) {
    Data1->whenKeysComplete(this, reporting(step, failed), [this] { superseded(); }, failed);
}

void QuarzelDatabase::superseded() {
    Screen::setMousePointer(0);
    endCommand();
}

void QuarzelDatabase::countAndRewind(Then then, Failed failed) {
    afterCount(
        [this, then] {
            auto& rs = Data1->Recordset();
            // An empty result is a valid view: no rows, "0 Records". The
            // count is known here.
            const long count = Data1->view()->count();
            if (count > 0 && Data1->view()->keysComplete())
                rs.MoveLast();
            showRecordCount(count, " Records");
            if (count > 0)
                rs.MoveFirst();
            if (then)
                then();
        },
        failed);
}

void QuarzelDatabase::showRecordCount(long count, const QString& suffix) {
    Label3->setText(QString::number(count) + suffix);
}

void QuarzelDatabase::updateCountLabel() {
    const QString suffix = Label3->text().endsWith(" Matches") ? " Matches" : " Records";
    showRecordCount(Data1->Recordset().RecordCount(), suffix);
}

bool QuarzelDatabase::beginCommand() {
    if (busy_)
        return false; // one command at a time; the surface is disabled anyway
    busy_ = true;
    if (tools_)
        tools_->fileCheck()->pause(); // resumed as the command ends
    // The command surface waits; painting, scrolling and the diagram go on.
    focusBefore_ = QApplication::focusWidget();
    setCommandSurfaceEnabled(false);
    focusMoved_ = QApplication::focusWidget();
    return true;
}

void QuarzelDatabase::endCommand() {
    if (!busy_)
        return;
    busy_ = false;
    if (tools_)
        tools_->fileCheck()->resume();
    setCommandSurfaceEnabled(true);
    if (focusBefore_ && focusBefore_ != focusMoved_ && QApplication::focusWidget() == focusMoved_ &&
        focusBefore_->isEnabled() && focusBefore_->isVisible())
        focusBefore_->setFocus(Qt::OtherFocusReason);
    focusBefore_ = focusMoved_ = nullptr;
    emit commandFinished();
    if (closing_)
        close(); // the close that came while the command waited
}

void QuarzelDatabase::setCommandSurfaceEnabled(bool enabled) {
    // The boxes of the search bar stay open: what the user types while a
    // command waits reaches them, and is there for the next command.
    for (QWidget* w : std::initializer_list<QWidget*>{menuBar(), Command1[0], Command1[1], Data1})
        w->setEnabled(enabled);
    vaSpread1->holdEditing(!enabled);
}

void QuarzelDatabase::ApplyGridLayout(bool startUp) {
    using schema::Column;
    using schema::index;
    vaSpread1->Columns(index(Column::Rockname)).setWidth(2500);
    vaSpread1->Columns(index(Column::Date)).setWidth(1000);
    for (int i = index(Column::SampleNumber); i <= index(Column::ID); ++i)
        vaSpread1->Columns(i).setWidth(1000);
    for (int i = index(Column::SiO2); i <= index(Column::H2OMinus); ++i)
        vaSpread1->Columns(i).setNumberFormat("#0.00");
    const int first = index(startUp ? Column::CO2 : Column::Rockname);
    for (int i = first; i <= index(Column::ID); ++i)
        vaSpread1->Columns(i).setNumberFormat("#0.00");
}
