#pragma once

#include "platform/view/ValueColumns.h"

#include <QDialog>
#include <QString>

#include <optional>
#include <vector>

class QComboBox;
class QLineEdit;
class QRadioButton;

// "Tools > Find by Value..." and "Sort by Value...": which value kept beside
// the table, and the numbers it lies between (either may be left empty) or
// the words it holds, or the order. The dialog stays open until what was
// typed can be used: a number that is none, bounds the wrong way round, or
// numbers and words together are said and left to be mended. Tests answer
// in place of the dialog.
class ValueQueryDialog : public QDialog {
    Q_OBJECT
public:
    enum class Kind { Find, Sort };
    struct Answer {
        ValueColumns::Choice column;
        std::optional<double> from, to; // a find by numbers, in the column's unit
        QString words;                  // a find by words (* and ? as the search's)
        bool descending = false;        // a sort
    };

    class Implementation {
    public:
        virtual ~Implementation() = default;
        virtual std::optional<Answer> ask(Kind kind,
                                          const std::vector<ValueColumns::Choice>& offered) = 0;
    };
    static void setImplementation(Implementation* impl);

    // The user's answer; none when cancelled. The columns shown in the
    // grid are offered first.
    static std::optional<Answer> ask(Kind kind, const std::vector<ValueColumns::Choice>& offered,
                                     const std::vector<ValueColumns::Choice>& shown,
                                     QWidget* parent);
    // A number as typed: in the user's own way of writing it or with a
    // point; none for an empty box. `ok` is false for text that is no number.
    static std::optional<double> number(const QString& typed, bool& ok);

    ValueQueryDialog(Kind kind, const std::vector<ValueColumns::Choice>& offered,
                     QWidget* parent = nullptr);
    void done(int result) override;
    Answer answer() const { return answer_; }

private:
    bool take(); // false, and said, when what was typed cannot be used

    Kind kind_;
    std::vector<ValueColumns::Choice> offered_;
    QComboBox* column_ = nullptr;
    QLineEdit* from_ = nullptr;
    QLineEdit* to_ = nullptr;
    QLineEdit* words_ = nullptr;
    QRadioButton* descending_ = nullptr;
    Answer answer_;
};
