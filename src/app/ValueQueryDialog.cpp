#include "ValueQueryDialog.h"

#include "platform/dialogs/MessageBox.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {
ValueQueryDialog::Implementation* implementation = nullptr;

QString title(ValueQueryDialog::Kind kind) {
    return kind == ValueQueryDialog::Kind::Find ? "Find by Value" : "Sort by Value";
}
} // namespace

void ValueQueryDialog::setImplementation(Implementation* impl) {
    implementation = impl;
}

std::optional<ValueQueryDialog::Answer>
ValueQueryDialog::ask(Kind kind, const std::vector<ValueColumns::Choice>& offered,
                      const std::vector<ValueColumns::Choice>& shown, QWidget* parent) {
    // A column the grid shows comes first: it is the likeliest asked for.
    std::vector<ValueColumns::Choice> order;
    for (const auto& c : shown)
        if (std::find(offered.begin(), offered.end(), c) != offered.end())
            order.push_back(c);
    for (const auto& c : offered)
        if (std::find(order.begin(), order.end(), c) == order.end())
            order.push_back(c);
    if (implementation)
        return implementation->ask(kind, order);
    ValueQueryDialog dialog(kind, order, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.answer();
}

std::optional<double> ValueQueryDialog::number(const QString& typed, bool& ok) {
    const QString t = typed.trimmed();
    ok = true;
    if (t.isEmpty())
        return std::nullopt;
    double v = QLocale().toDouble(t, &ok);
    if (!ok)
        v = QLocale::c().toDouble(t, &ok);
    ok = ok && std::isfinite(v);
    return ok ? std::optional<double>(v) : std::nullopt;
}

ValueQueryDialog::ValueQueryDialog(Kind kind, const std::vector<ValueColumns::Choice>& offered,
                                   QWidget* parent)
    : QDialog(parent), kind_(kind), offered_(offered) {
    setWindowTitle(title(kind));
    setObjectName("ValueQueryDialog");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    column_ = new QComboBox;
    column_->setObjectName("column");
    for (const auto& c : offered)
        column_->addItem(
            QString::fromStdString(c.unit.empty() ? c.analyte : c.analyte + " (" + c.unit + ")"));
    form->addRow("&Value:", column_);
    if (kind == Kind::Find) {
        from_ = new QLineEdit;
        from_->setObjectName("from");
        to_ = new QLineEdit;
        to_->setObjectName("to");
        words_ = new QLineEdit;
        words_->setObjectName("words");
        form->addRow("&From:", from_);
        form->addRow("&To:", to_);
        form->addRow("or &words:", words_);
        auto* note = new QLabel("Numbers in the value's unit, either bound may be left empty. "
                                "A value below a detection limit is not found.");
        note->setWordWrap(true);
        layout->addLayout(form);
        layout->addWidget(note);
    } else {
        auto* ascending = new QRadioButton("&Ascending");
        ascending->setChecked(true);
        descending_ = new QRadioButton("&Descending");
        descending_->setObjectName("descending");
        form->addRow("", ascending);
        form->addRow("", descending_);
        auto* note = new QLabel("Rows without the value come last.");
        layout->addLayout(form);
        layout->addWidget(note);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    column_->setFocus();
}

void ValueQueryDialog::done(int result) {
    if (result == QDialog::Accepted && !take())
        return; // left open to be mended
    QDialog::done(result);
}

bool ValueQueryDialog::take() {
    Answer a;
    const int at = column_->currentIndex();
    if (at < 0)
        return false;
    a.column = offered_[static_cast<std::size_t>(at)];
    if (kind_ == Kind::Sort) {
        a.descending = descending_->isChecked();
        answer_ = a;
        return true;
    }
    bool fromOk = true, toOk = true;
    a.from = number(from_->text(), fromOk);
    a.to = number(to_->text(), toOk);
    a.words = words_->text().trimmed();
    QLineEdit* wrong = nullptr;
    QString why;
    if (!fromOk || !toOk) {
        wrong = fromOk ? to_ : from_;
        why = QString("'%1' is not a number.").arg(wrong->text().trimmed());
    } else if (a.from && a.to && *a.from > *a.to) {
        wrong = from_;
        why = "The value to find from is above the value to find to.";
    } else if ((a.from || a.to) && !a.words.isEmpty()) {
        wrong = words_;
        why = "Find by numbers or by words, not by both.";
    } else if (!a.from && !a.to && a.words.isEmpty()) {
        wrong = from_;
        why = "Enter a number to find from or to, or words to find.";
    }
    if (wrong) {
        MessageBox::Show(why, 48, title(kind_));
        wrong->setFocus();
        wrong->selectAll();
        return false;
    }
    answer_ = a;
    return true;
}
