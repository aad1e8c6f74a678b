#include "GridHeader.h"

#include <QPainter>
#include <QStyleOptionHeader>

GridHeader::GridHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setTextElideMode(Qt::ElideRight);
}

QString GridHeader::shownCaption(int logicalIndex) const {
    if (!model())
        return {};
    const QString caption = model()->headerData(logicalIndex, orientation()).toString();
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    const int margins = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, &opt, this);
    return fontMetrics().elidedText(caption, Qt::ElideRight, sectionSize(logicalIndex) - margins);
}

void GridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = rect;
    opt.section = logicalIndex;
    opt.text = shownCaption(logicalIndex);
    opt.textAlignment = defaultAlignment();
    opt.position = QStyleOptionHeader::Middle;
    painter->save();
    painter->setFont(font());
    style()->drawControl(QStyle::CE_Header, &opt, painter, this);
    painter->restore();
}
