#pragma once

#include "platform/db/Database.h"
#include "platform/view/ValueColumns.h"

#include <QDialog>

#include <optional>
#include <vector>

class QListWidget;

// "Tools > Columns...": which of the values kept beside the table are shown
// after the grid's columns. Each analyte is offered once, in the unit it is
// shown in, with how many values the table holds of it; those shown now
// are ticked. Tests answer in place of the dialog.
class ColumnChooser : public QDialog {
    Q_OBJECT
public:
    using Choices = std::vector<ValueColumns::Choice>;

    class Implementation {
    public:
        virtual ~Implementation() = default;
        virtual std::optional<Choices> choose(const Choices& offered, const Choices& shown) = 0;
    };
    static void setImplementation(Implementation* impl);

    // The analytes a table holds, as offered: one per analyte and unit shown.
    static Choices offered(const std::vector<engine::Database::AnalyteCount>& held,
                           std::vector<long long>* counts = nullptr);
    // The user's choice; none when cancelled.
    static std::optional<Choices> choose(const std::vector<engine::Database::AnalyteCount>& held,
                                         const Choices& shown, QWidget* parent);

    ColumnChooser(const Choices& offered, const std::vector<long long>& counts,
                  const Choices& shown, QWidget* parent = nullptr);
    Choices chosen() const;

private:
    Choices offered_;
    QListWidget* list_ = nullptr;
};
