#pragma once

#include <cstdint>
#include <string>

namespace engine {
class Recordset;
}
class View;

// The record set of a view as its users see it: the engine's
// dynaset, with every move and change reported to the bound grid so that
// the grid's current row follows.
class DataRecordset {
public:
    DataRecordset(View& owner, engine::Recordset& rs) : owner_(owner), rs_(rs) {}

    long RecordCount() const;
    long AbsolutePosition() const;
    void setAbsolutePosition(long row);
    void MoveFirst();
    void MoveLast();
    void MoveNext();
    void MovePrevious();
    void AddNew();
    std::int64_t Update();
    void Delete();
    void FindFirst(const std::string& criterion);
    bool NoMatch() const;
    bool IsEOF() const;
    bool IsBOF() const;

private:
    void moved();
    View& owner_;
    engine::Recordset& rs_;
};
