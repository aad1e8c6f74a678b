#include "LogOnDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
LogOnDialog::Implementation* implementation = nullptr;
}

void LogOnDialog::setImplementation(Implementation* impl) {
    implementation = impl;
}

std::optional<LogOnDialog::Answer> LogOnDialog::ask(const Question& question, QWidget* parent) {
    if (implementation)
        return implementation->ask(question);
    LogOnDialog dialog(question, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.answer();
}

LogOnDialog::LogOnDialog(const Question& question, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Log On");
    setObjectName("LogOnDialog");
    auto* layout = new QVBoxLayout(this);
    auto* where = new QLabel("Log on to the collection on the server " + question.server + ".");
    where->setWordWrap(true);
    layout->addWidget(where);
    if (!question.problem.isEmpty()) {
        auto* problem = new QLabel(question.problem);
        problem->setObjectName("problem");
        problem->setWordWrap(true);
        problem->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(problem);
    }
    auto* form = new QFormLayout;
    user_ = new QLineEdit(question.user);
    user_->setObjectName("user");
    password_ = new QLineEdit;
    password_->setObjectName("password");
    password_->setEchoMode(QLineEdit::Password);
    form->addRow("&Account:", user_);
    form->addRow("&Password:", password_);
    layout->addLayout(form);
    remember_ = new QCheckBox("&Remember the password on this computer");
    remember_->setObjectName("remember");
    remember_->setToolTip("Kept in the server library's own password file, readable by you "
                          "alone.");
    layout->addWidget(remember_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText("Log On");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(440);
    // The user types where the answer is missing: the password when the
    // name is known.
    (question.user.isEmpty() ? user_ : password_)->setFocus();
}

LogOnDialog::Answer LogOnDialog::answer() const {
    return Answer{user_->text().trimmed(), password_->text(), remember_->isChecked()};
}
