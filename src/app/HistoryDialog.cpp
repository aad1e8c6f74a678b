#include "HistoryDialog.h"

#include "schema/Column.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

HistoryDialog::Implementation* implementation = nullptr;

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

// "2026-12-09T06:46:01.357Z" as the user's own clock reads it.
QString when(const std::string& made) {
    QDateTime t = QDateTime::fromString(text(made), Qt::ISODateWithMs);
    return t.isValid() ? QLocale().toString(t.toLocalTime(), QLocale::ShortFormat) : text(made);
}

const engine::HistoryEntry::Column* column(const engine::HistoryEntry& e, const char* name) {
    for (const auto& c : e.columns)
        if (c.name == name)
            return &c;
    return nullptr;
}

} // namespace

void HistoryDialog::setImplementation(Implementation* impl) {
    implementation = impl;
}

QString HistoryDialog::shown(const engine::Value& v) {
    if (v.isNull())
        return "(empty)";
    return text(engine::History::exactText(v));
}

std::optional<HistoryDialog::Choice> HistoryDialog::choose(const QString& sample,
                                                           const Entries& changes,
                                                           const Entries& deleted,
                                                           QWidget* parent) {
    if (implementation)
        return implementation->choose(sample, changes, deleted);
    HistoryDialog dialog(sample, changes, deleted, parent);
    dialog.exec();
    return dialog.chosen();
}

HistoryDialog::HistoryDialog(const QString& sample, const Entries& changes, const Entries& deleted,
                             QWidget* parent)
    : QDialog(parent), changes_(changes), deleted_(deleted) {
    setWindowTitle("History");
    setObjectName("HistoryDialog");
    auto* layout = new QVBoxLayout(this);

    auto* changesLabel =
        new QLabel(sample.isEmpty()  ? QString("There is no current row.")
                   : changes.empty() ? QString("No change of %1 is kept.").arg(sample)
                                     : QString("&Changes of %1, newest first:").arg(sample));
    layout->addWidget(changesLabel);
    changeList_ = new QTreeWidget;
    changeList_->setObjectName("changes");
    changeList_->setHeaderLabels({"When", "Account", "What", "Before", "After"});
    changesLabel->setBuddy(changeList_);
    for (const engine::HistoryEntry& e : changes) {
        auto* item = new QTreeWidgetItem(changeList_);
        item->setText(0, when(e.made));
        item->setText(1, text(e.account));
        item->setText(2, text(e.kind));
        for (const auto& c : e.columns) {
            auto* child = new QTreeWidgetItem(item);
            child->setText(2, text(c.name));
            child->setText(3, shown(c.before));
            child->setText(4, e.kind == "deleted" ? QString() : shown(c.after));
        }
        item->setExpanded(true);
    }
    layout->addWidget(changeList_, 2);

    auto* deletedLabel =
        new QLabel(deleted.empty() ? QString("No deleted sample of the table is kept.")
                                   : QString("&Deleted samples of the table, newest first:"));
    layout->addWidget(deletedLabel);
    deletedList_ = new QTreeWidget;
    deletedList_->setObjectName("deleted");
    deletedList_->setRootIsDecorated(false);
    deletedList_->setHeaderLabels({"When", "Account", "ID", "Sample", "Rockname"});
    deletedLabel->setBuddy(deletedList_);
    for (const engine::HistoryEntry& e : deleted) {
        auto* item = new QTreeWidgetItem(deletedList_);
        item->setText(0, when(e.made));
        item->setText(1, text(e.account));
        item->setText(2, QString::number(e.sample));
        if (const auto* c = column(e, schema::columnName(schema::Column::SampleNumber)))
            item->setText(3, c->before.isNull() ? QString() : shown(c->before));
        if (const auto* c = column(e, schema::columnName(schema::Column::Rockname)))
            item->setText(4, c->before.isNull() ? QString() : shown(c->before));
    }
    layout->addWidget(deletedList_, 1);

    auto* buttons = new QDialogButtonBox;
    undo_ = buttons->addButton("&Undo Change", QDialogButtonBox::ActionRole);
    undo_->setObjectName("undo");
    bringBack_ = buttons->addButton("&Bring Back", QDialogButtonBox::ActionRole);
    bringBack_->setObjectName("bringBack");
    buttons->addButton(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(undo_, &QPushButton::clicked, this, [this] {
        const QTreeWidgetItem* item = changeList_->currentItem();
        if (item && item->parent())
            item = item->parent();
        const int at = changeList_->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item));
        if (at < 0)
            return;
        chosen_ = Choice{Choice::Action::Undo, changes_[static_cast<std::size_t>(at)]};
        accept();
    });
    connect(bringBack_, &QPushButton::clicked, this, [this] {
        const int at = deletedList_->indexOfTopLevelItem(deletedList_->currentItem());
        if (at < 0)
            return;
        chosen_ = Choice{Choice::Action::BringBack, deleted_[static_cast<std::size_t>(at)]};
        accept();
    });
    layout->addWidget(buttons);
    connect(changeList_, &QTreeWidget::currentItemChanged, this, [this] { follow(); });
    connect(deletedList_, &QTreeWidget::currentItemChanged, this, [this] { follow(); });
    if (changeList_->topLevelItemCount() > 0)
        changeList_->setCurrentItem(changeList_->topLevelItem(0));
    if (deletedList_->topLevelItemCount() > 0)
        deletedList_->setCurrentItem(deletedList_->topLevelItem(0));
    for (QTreeWidget* list : {changeList_, deletedList_})
        list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    follow();
    (changes.empty() && !deleted.empty() ? deletedList_ : changeList_)->setFocus();
    resize(620, 520);
}

// Only a change of columns can be undone: an addition is undone by
// deleting the row, a deletion by bringing it back.
void HistoryDialog::follow() {
    const QTreeWidgetItem* item = changeList_->currentItem();
    if (item && item->parent())
        item = item->parent();
    const int at = item ? changeList_->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item)) : -1;
    undo_->setEnabled(at >= 0 && changes_[static_cast<std::size_t>(at)].kind == "changed");
    bringBack_->setEnabled(deletedList_->currentItem() != nullptr);
}
