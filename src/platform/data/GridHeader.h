#pragma once

#include <QHeaderView>

// The grid's column headers: a caption wider than its column is cut at its
// end with an ellipsis, as the cells are, and is never clipped on both sides.
class GridHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit GridHeader(QWidget* parent = nullptr);

    // The caption as drawn into a section of the given width.
    QString shownCaption(int logicalIndex) const;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};
