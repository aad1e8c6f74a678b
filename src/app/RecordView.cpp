// The record view that every query ends with, and the grid column layout.
#include "QuarzelDatabase.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"

#include <QLabel>

void QuarzelDatabase::RefreshRecordView(const QString& recordSource) {
    Data1->setRecordSource(recordSource);
    Data1->Refresh();
    countAndRewind();
    ApplyGridLayout(false);
}

void QuarzelDatabase::countAndRewind() {
    auto& rs = Data1->Recordset();
    // An empty result is a valid view: no rows, "0 Records".
    if (rs.RecordCount() > 0)
        rs.MoveLast();
    showRecordCount(rs.RecordCount(), " Records");
    if (rs.RecordCount() > 0)
        rs.MoveFirst();
}

void QuarzelDatabase::showRecordCount(long count, const QString& suffix) {
    Label3->setText(QString::number(count) + suffix);
}

void QuarzelDatabase::ApplyGridLayout(bool startUp) {
    vaSpread1->Columns(0).setWidth(2500);
    vaSpread1->Columns(2).setWidth(1000);
    for (int i = 4; i <= 18; ++i)
        vaSpread1->Columns(i).setWidth(1000);
    for (int i = 19; i <= 31; ++i)
        vaSpread1->Columns(i).setWidth(1000);
    for (int i = 5; i <= 17; ++i)
        vaSpread1->Columns(i).setNumberFormat("#0.00");
    const int first = startUp ? 18 : 0;
    for (int i = first; i <= 31; ++i)
        vaSpread1->Columns(i).setNumberFormat("#0.00");
}
