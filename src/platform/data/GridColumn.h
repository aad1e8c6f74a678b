#pragma once

#include <QString>

class DBGrid;

// One column of the grid, as Columns(i) gives it: width in twips and a
// number format.
class GridColumn {
public:
    GridColumn(DBGrid& grid, int index) : grid_(grid), index_(index) {}

    int Width() const;
    void setWidth(int twips);
    QString NumberFormat() const;
    void setNumberFormat(const QString& format);

private:
    DBGrid& grid_;
    int index_;
};
