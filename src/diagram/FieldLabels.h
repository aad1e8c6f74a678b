#pragma once

#include <QFont>
#include <QPolygonF>
#include <QRectF>
#include <QString>

#include <vector>

// Where the fields' names go on a drawn diagram: each name inside its own
// field as far as the field is in sight, clear of the field's edges and of
// the other names, near the point the field prefers. A name is wrapped, then
// made smaller, until it fits; a field with no room for it at the smallest
// readable size goes without one.
struct FieldLabel {
    int field;
    QString text; // with line breaks where it was wrapped
    QRectF rect;  // the text's box, in the drawing's coordinates
    QFont font;
};

class FieldLabels {
public:
    // outlines: each field's polygon and preferred point, in drawing
    // coordinates; area: the part of the drawing in sight; font: the size
    // to start from; smallest: the point size never gone below.
    static std::vector<FieldLabel> place(const std::vector<QPolygonF>& outlines,
                                         const std::vector<QPointF>& preferred,
                                         const std::vector<QString>& names, const QRectF& area,
                                         const QFont& font, double smallest);
    // Whether a box lies wholly inside a polygon (its edges sampled).
    static bool boxInside(const QRectF& box, const QPolygonF& polygon);
};
