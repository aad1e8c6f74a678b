#pragma once

#include <QDialog>

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;

// The log-on to a collection on a server: the account's name and password,
// and whether to remember the password in libpq's password file. The
// password lives in the dialog and in the answer only; it is written
// nowhere unless the user ticks the box. Tests answer in place of it.
class LogOnDialog : public QDialog {
    Q_OBJECT
public:
    struct Question {
        QString server;  // where, as the user knows it ("survey-db:5432/quarzel")
        QString user;    // proposed
        QString problem; // why asked again (the server's refusal), or empty
    };
    struct Answer {
        QString user;
        QString password;
        bool remember = false;
    };

    class Implementation {
    public:
        virtual ~Implementation() = default;
        virtual std::optional<Answer> ask(const Question& question) = 0;
    };
    static void setImplementation(Implementation* impl);

    // Nothing when the user cancels.
    static std::optional<Answer> ask(const Question& question, QWidget* parent = nullptr);

    explicit LogOnDialog(const Question& question, QWidget* parent = nullptr);
    Answer answer() const;

private:
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QCheckBox* remember_ = nullptr;
};
