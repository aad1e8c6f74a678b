#include "DataRecordset.h"

#include "View.h"
#include "platform/db/Recordset.h"

long DataRecordset::RecordCount() const {
    return rs_.RecordCount();
}
long DataRecordset::AbsolutePosition() const {
    return rs_.AbsolutePosition();
}
bool DataRecordset::NoMatch() const {
    return rs_.NoMatch();
}
bool DataRecordset::IsEOF() const {
    return rs_.IsEOF();
}
bool DataRecordset::IsBOF() const {
    return rs_.IsBOF();
}

void DataRecordset::moved() {
    owner_.followLoading(true); // the grid knows the row before it is made current
    emit owner_.positionChanged(rs_.AbsolutePosition());
}

void DataRecordset::setAbsolutePosition(long row) {
    rs_.setAbsolutePosition(row);
    moved();
}
void DataRecordset::MoveFirst() {
    rs_.MoveFirst();
    moved();
}
void DataRecordset::MoveLast() {
    rs_.MoveLast();
    moved();
}
void DataRecordset::MoveNext() {
    rs_.MoveNext();
    moved();
}
void DataRecordset::MovePrevious() {
    rs_.MovePrevious();
    moved();
}
void DataRecordset::AddNew() {
    rs_.AddNew();
}

std::int64_t DataRecordset::Update() {
    emit owner_.pendingEditsDue();
    const auto key = rs_.Update();
    emit owner_.rowsChanged();
    moved();
    return key;
}

void DataRecordset::Delete() {
    emit owner_.pendingEditsDue();
    rs_.Delete();
    emit owner_.rowsChanged();
}

void DataRecordset::FindFirst(const std::string& criterion) {
    rs_.FindFirst(criterion);
    if (!rs_.NoMatch())
        moved();
}
