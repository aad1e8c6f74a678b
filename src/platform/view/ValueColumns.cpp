#include "ValueColumns.h"

#include "RowRef.h"
#include "View.h"
#include "platform/db/Database.h"
#include "platform/db/Recordset.h"

#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>

namespace {

constexpr std::size_t kBatch = 400;     // keys read in one statement
constexpr std::size_t kKept = 200000;   // cells kept before all are let go of
constexpr const char* kOxideMark = "O"; // an oxide's formula holds oxygen

// Whether an analyte is an element's symbol ("La", "Sr"): shown in ppm.
bool element(const std::string& a) {
    return !a.empty() && a.size() <= 2 && std::isupper(static_cast<unsigned char>(a[0])) &&
           (a.size() == 1 || std::islower(static_cast<unsigned char>(a[1])));
}

// A concentration's factor to ppm; 0 for a unit that is none.
double toPpm(const std::string& unit) {
    return unit == "ppm"   ? 1
           : unit == "ppb" ? 1e-3
           : unit == "ppt" ? 1e-6
           : unit == "wt%" ? 1e4
                           : 0;
}

// As reported, to its last digit; a converted value (ppb to ppm) without
// the last bit's noise.
QString number(double v, bool converted) {
    if (converted)
        return QString::number(v, 'g', 10);
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, v);
    return QString::fromLatin1(text, ec == std::errc() ? static_cast<int>(end - text) : 0);
}

} // namespace

ValueColumns::ValueColumns(View* view, QObject* parent) : QObject(parent), view_(view) {
    connect(view_, &View::recordsetChanged, this, [this] { forgetAll(); });
    connect(view_, &View::rowChangedElsewhere, this, [this](RowRef row) {
        cells_.erase(row.key);
        asked_.erase(row.key);
    });
}

ValueColumns::~ValueColumns() {
    if (cancel_)
        *cancel_ = true;
    if (reader_)
        reader_->wait();
}

void ValueColumns::setChoices(const std::vector<Choice>& choices) {
    if (choices == choices_)
        return;
    choices_ = choices;
    forgetAll();
}

QString ValueColumns::header(int column) const {
    const Choice& c = choices_[static_cast<std::size_t>(column)];
    return QString::fromStdString(c.unit.empty() ? c.analyte : c.analyte + " (" + c.unit + ")");
}

std::string ValueColumns::shownUnit(const std::string& analyte, const std::string& storedUnit) {
    if (toPpm(storedUnit) == 0)
        return storedUnit;
    if (element(analyte))
        return "ppm";
    return analyte.find(kOxideMark) != std::string::npos ? "wt%" : storedUnit;
}

double ValueColumns::ppmPerUnit(const std::string& unit) {
    return toPpm(unit);
}

bool ValueColumns::showable(const std::string& storedUnit, const std::string& shownUnit) {
    return storedUnit == shownUnit || (toPpm(storedUnit) && toPpm(shownUnit));
}

QString ValueColumns::cellText(const std::vector<engine::SampleValue>& values,
                               const Choice& choice) {
    const engine::SampleValue* best = nullptr;
    for (const engine::SampleValue& v : values) {
        if (v.analyte != choice.analyte)
            continue;
        // Only a value that can be shown in the column's unit.
        const bool fits = showable(v.unit, choice.unit);
        if (!fits && v.value)
            continue;
        if (!best || (best->qualifier && !v.qualifier))
            best = &v;
        if (!best->qualifier)
            break;
    }
    if (!best)
        return {};
    if (!best->value)
        return QString::fromStdString(best->text);
    double v = *best->value;
    const bool converted = best->unit != choice.unit;
    if (converted)
        v = v * toPpm(best->unit) / toPpm(choice.unit);
    return (best->qualifier ? QString(QChar(best->qualifier)) : QString()) + number(v, converted);
}

QString ValueColumns::cell(std::int64_t key, int column) {
    if (const auto it = cells_.find(key); it != cells_.end())
        return it->second[static_cast<std::size_t>(column)];
    if (asked_.emplace(key, true).second) {
        wanted_.push_back(key);
        readSoon();
    }
    return {};
}

void ValueColumns::forgetAll() {
    ++round_;
    cells_.clear();
    asked_.clear();
    wanted_.clear();
    if (cancel_)
        *cancel_ = true;
}

void ValueColumns::readSoon() {
    // The keys one paint asks for are read together.
    if (readScheduled_)
        return;
    readScheduled_ = true;
    QTimer::singleShot(0, this, [this] {
        readScheduled_ = false;
        readNext();
    });
}

void ValueColumns::readNext() {
    engine::Recordset* rs = view_->recordset();
    if (reader_ || wanted_.empty() || choices_.empty() || !rs || !view_->database())
        return;
    const std::size_t n = std::min(kBatch, wanted_.size());
    // The most recently asked first: they are the rows in sight now.
    std::vector<std::int64_t> keys(wanted_.end() - static_cast<std::ptrdiff_t>(n), wanted_.end());
    wanted_.resize(wanted_.size() - n);
    std::string where = "[ID] IN (";
    for (std::size_t i = 0; i < keys.size(); ++i)
        where += (i ? "," : "") + std::to_string(keys[i]);
    where += ")";
    std::vector<std::string> analytes;
    for (const Choice& c : choices_)
        analytes.push_back(c.analyte);
    // One connection of the readers' own, opened by the first of them: one
    // reader runs at a time.
    if (!reading_ || reading_->source != view_->database())
        reading_ = std::make_shared<Reading>(Reading{view_->database(), nullptr});
    auto reading = reading_;
    const std::string table = rs->Table();
    const std::vector<Choice> choices = choices_;
    const quint64 round = round_;
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    auto cancel = cancel_;
    reader_ =
        QThread::create([this, reading, table, where, analytes, keys, choices, round, cancel] {
            auto cells = std::make_shared<std::unordered_map<std::int64_t, std::vector<QString>>>();
            try {
                if (!reading->own)
                    reading->own = reading->source->openAnother(true);
                engine::Database* db = reading->own.get();
                std::map<std::int64_t, std::vector<engine::SampleValue>> bySample;
                db->readSomeValues(table, where, analytes, [&](const engine::StoredValue& v) {
                    bySample[v.sample].push_back(v.value);
                    return !cancel->load();
                });
                for (std::int64_t key : keys) {
                    std::vector<QString>& row = (*cells)[key];
                    const auto it = bySample.find(key);
                    for (const Choice& c : choices)
                        row.push_back(it == bySample.end() ? QString() : cellText(it->second, c));
                }
            } catch (const std::exception&) {
                // Unreadable now (a connection lost): asked for again when painted,
                // on a connection opened anew.
                cells->clear();
                reading->own.reset();
            }
            QMetaObject::invokeMethod(
                this,
                [this, cells, round, keys] {
                    if (round != round_)
                        return;
                    for (auto& [key, row] : *cells)
                        cells_[key] = std::move(row);
                    for (std::int64_t key : keys)
                        if (!cells_.count(key))
                            asked_.erase(key);
                    if (cells_.size() > kKept) {
                        cells_.clear();
                        asked_.clear();
                    }
                    emit cellsArrived();
                },
                Qt::QueuedConnection);
        });
    connect(reader_, &QThread::finished, this, [this] {
        reader_->wait();
        delete reader_;
        reader_ = nullptr;
        readNext();
    });
    reader_->start();
}
