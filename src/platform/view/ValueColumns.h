#pragma once

#include "platform/db/SampleValue.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class QThread;
class View;
namespace engine {
class Database;
}

// Values kept beside a table, shown as columns after the grid's 32: the
// analytes the user chose, each in the unit it is shown in (ppm for an
// element, wt% for an oxide, as stored for the rest), and their cells for
// the rows in sight. A cell is read for its row's key on a worker, a batch
// of keys at a time, and kept by key; until it comes it is empty, never
// waited for. Another record set, table or choice lets go of every cell
// kept; another user's change to a row, of that row's.
class ValueColumns : public QObject {
    Q_OBJECT
public:
    struct Choice {
        std::string analyte;
        std::string unit; // as shown; empty for a ratio or a fact
        bool operator==(const Choice&) const = default;
    };

    explicit ValueColumns(View* view, QObject* parent = nullptr);
    ~ValueColumns() override;

    void setChoices(const std::vector<Choice>& choices);
    const std::vector<Choice>& choices() const { return choices_; }
    int count() const { return static_cast<int>(choices_.size()); }
    // "La (ppm)"; "Material".
    QString header(int column) const;
    // The cell of the row with this key; empty while it is read.
    QString cell(std::int64_t key, int column);

    // The unit an analyte is shown in, from a unit it is stored in.
    static std::string shownUnit(const std::string& analyte, const std::string& storedUnit);
    // A concentration's unit in ppm (1e-3 for ppb, 1e4 for wt%); 0 for a
    // unit that is none. A number is shown in another unit as
    // value * ppm(stored) / ppm(shown), and only when both are concentrations.
    static double ppmPerUnit(const std::string& unit);
    static bool showable(const std::string& storedUnit, const std::string& shownUnit);
    // A sample's values of one analyte as one cell in the unit shown: the
    // first without a qualifier, else the first ("<0.05"); a fact's words.
    static QString cellText(const std::vector<engine::SampleValue>& values, const Choice& choice);

signals:
    // Cells came for rows in sight: they are painted again.
    void cellsArrived();

private:
    void forgetAll();
    void readSoon();
    void readNext();

    View* view_;
    std::vector<Choice> choices_;
    std::unordered_map<std::int64_t, std::vector<QString>> cells_;
    std::vector<std::int64_t> wanted_; // asked for, not yet being read
    std::unordered_map<std::int64_t, bool> asked_;
    QThread* reader_ = nullptr;
    bool readScheduled_ = false;
    quint64 round_ = 0; // bumped when every cell is let go of
    std::shared_ptr<std::atomic<bool>> cancel_;
    struct Reading {
        std::shared_ptr<engine::Database> source;
        std::shared_ptr<engine::Database> own; // touched by the one reader running only
    };
    std::shared_ptr<Reading> reading_;
};
