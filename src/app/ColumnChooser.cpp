#include "ColumnChooser.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QVBoxLayout>

#include <algorithm>

namespace {
ColumnChooser::Implementation* implementation = nullptr;
} // namespace

void ColumnChooser::setImplementation(Implementation* impl) {
    implementation = impl;
}

ColumnChooser::Choices
ColumnChooser::offered(const std::vector<engine::Database::AnalyteCount>& held,
                       std::vector<long long>* counts) {
    Choices out;
    std::vector<long long> n;
    for (const auto& h : held) {
        const ValueColumns::Choice c{h.analyte, ValueColumns::shownUnit(h.analyte, h.unit)};
        const auto it = std::find(out.begin(), out.end(), c);
        if (it == out.end()) {
            out.push_back(c);
            n.push_back(h.count);
        } else {
            n[static_cast<std::size_t>(it - out.begin())] += h.count;
        }
    }
    if (counts)
        *counts = n;
    return out;
}

std::optional<ColumnChooser::Choices>
ColumnChooser::choose(const std::vector<engine::Database::AnalyteCount>& held, const Choices& shown,
                      QWidget* parent) {
    std::vector<long long> counts;
    const Choices all = offered(held, &counts);
    if (implementation)
        return implementation->choose(all, shown);
    ColumnChooser dialog(all, counts, shown, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.chosen();
}

ColumnChooser::ColumnChooser(const Choices& offered, const std::vector<long long>& counts,
                             const Choices& shown, QWidget* parent)
    : QDialog(parent), offered_(offered) {
    setWindowTitle("Columns");
    setObjectName("ColumnChooser");
    auto* layout = new QVBoxLayout(this);
    auto* label =
        new QLabel(offered.empty() ? QString("The table keeps no values beside its columns.")
                                   : QString("&Values kept beside the table, shown after its "
                                             "columns:"));
    layout->addWidget(label);
    list_ = new QListWidget;
    list_->setObjectName("values");
    label->setBuddy(list_);
    const QLocale locale;
    for (std::size_t i = 0; i < offered.size(); ++i) {
        const ValueColumns::Choice& c = offered[i];
        const QString name =
            QString::fromStdString(c.unit.empty() ? c.analyte : c.analyte + " (" + c.unit + ")");
        auto* item = new QListWidgetItem(
            QString("%1 \u2014 %2 values").arg(name, locale.toString(counts[i])), list_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(
            std::find(shown.begin(), shown.end(), c) != shown.end() ? Qt::Checked : Qt::Unchecked);
    }
    if (list_->count() > 0)
        list_->setCurrentRow(0);
    layout->addWidget(list_, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    list_->setFocus();
    resize(360, 420);
}

ColumnChooser::Choices ColumnChooser::chosen() const {
    Choices out;
    for (int i = 0; i < list_->count(); ++i)
        if (list_->item(i)->checkState() == Qt::Checked)
            out.push_back(offered_[static_cast<std::size_t>(i)]);
    return out;
}
