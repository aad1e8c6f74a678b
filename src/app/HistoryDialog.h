#pragma once

#include "platform/db/History.h"

#include <QDialog>

#include <optional>
#include <vector>

class QPushButton;
class QTreeWidget;

// "Tools > History...": the current sample's changes, newest first, each
// with the columns it changed and their values before and after, and the
// table's samples deleted lately. The user may undo a change or bring a
// deleted sample back; what is chosen is named by its entry, and done by
// the caller. Tests answer in place of the dialog.
class HistoryDialog : public QDialog {
    Q_OBJECT
public:
    using Entries = std::vector<engine::HistoryEntry>;
    struct Choice {
        enum class Action { Undo, BringBack };
        Action action = Action::Undo;
        engine::HistoryEntry entry;
    };

    class Implementation {
    public:
        virtual ~Implementation() = default;
        virtual std::optional<Choice> choose(const QString& sample, const Entries& changes,
                                             const Entries& deleted) = 0;
    };
    static void setImplementation(Implementation* impl);

    // sample: how the current sample is named ("ID 12, ST-1"); empty when
    // there is no current row.
    static std::optional<Choice> choose(const QString& sample, const Entries& changes,
                                        const Entries& deleted, QWidget* parent);

    HistoryDialog(const QString& sample, const Entries& changes, const Entries& deleted,
                  QWidget* parent = nullptr);
    std::optional<Choice> chosen() const { return chosen_; }

    // A value as the dialog and the messages show it: Null as "(empty)".
    static QString shown(const engine::Value& v);

private:
    void follow();

    Entries changes_;
    Entries deleted_;
    QTreeWidget* changeList_ = nullptr;
    QTreeWidget* deletedList_ = nullptr;
    QPushButton* undo_ = nullptr;
    QPushButton* bringBack_ = nullptr;
    std::optional<Choice> chosen_;
};
