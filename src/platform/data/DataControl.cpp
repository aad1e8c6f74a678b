#include "DataControl.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

#include <algorithm>

DataControl::DataControl(QWidget* parent) : QWidget(parent) {
    view_ = new View(this);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const char* arrows[] = {"|◀", "◀", "▶", "▶|"};
    const char* tips[] = {"First record", "Previous record", "Next record", "Last record"};
    caption_ = new QLabel(this);
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setFrameShape(QFrame::Panel);
    caption_->setFrameShadow(QFrame::Sunken);
    for (int i = 0; i < 4; ++i) {
        if (i == 2)
            layout->addWidget(caption_, 1);
        auto* b = new QToolButton(this);
        b->setText(QString::fromUtf8(arrows[i]));
        b->setToolTip(tips[i]);
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRaise(false);
        b->setFixedWidth(18);
        b->setStyleSheet("QToolButton { padding: 0px; font-size: 7pt; }");
        b->setObjectName(QString("nav%1").arg(i));
        connect(b, &QToolButton::clicked, this, [this, i] { navigate(i); });
        layout->addWidget(b);
    }
}

DataControl::~DataControl() = default;

QString DataControl::Caption() const {
    return caption_->text();
}
void DataControl::setCaption(const QString& caption) {
    caption_->setText(caption);
}

void DataControl::navigate(int which) {
    if (!view_->shown())
        return;
    // The last row needs every key; nothing waits for them here: the move
    // is made when they are in (unless another set is shown first).
    const auto move = [this, which] {
        try {
            // Every key is in: the count is known.
            const long count = view_->shown() ? view_->count() : 0;
            if (count <= 0)
                return;
            // The bar stops at either end rather than raising an error.
            const long pos = view_->position();
            const long last = count - 1;
            long target = which == 0 ? 0 : which == 1 ? pos - 1 : which == 2 ? pos + 1 : last;
            target = std::clamp(target, 0L, last);
            view_->recordsetProxy().setAbsolutePosition(target);
        } catch (const std::exception& e) {
            emit commandFailed(QString::fromStdString(e.what()));
        }
    };
    whenKeysComplete(this, move);
}
