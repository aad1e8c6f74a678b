#include "ValueColumnsBench.h"

#include "BenchReport.h"
#include "SampleData.h"
#include "WindowMeter.h"
#include "app/ColumnChooser.h"
#include "app/QuarzelDatabase.h"
#include "app/ValueQueryDialog.h"
#include "platform/data/DBGrid.h"
#include "platform/data/RecordsetModel.h"
#include "platform/db/DBEngine.h"
#include "platform/program/ProgramInfo.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

namespace {

const std::vector<ValueColumns::Choice> kShown = {
    {"La", "ppm"}, {"Rb", "ppm"}, {"Zr", "ppm"}, {"SiO2", "wt%"}, {"Latitude", ""}};

struct Shown : ColumnChooser::Implementation {
    std::optional<ColumnChooser::Choices> choose(const ColumnChooser::Choices&,
                                                 const ColumnChooser::Choices&) override {
        return kShown;
    }
};

struct Asked : ValueQueryDialog::Implementation {
    ValueQueryDialog::Answer answer;
    std::optional<ValueQueryDialog::Answer> ask(ValueQueryDialog::Kind,
                                                const std::vector<ValueColumns::Choice>&) override {
        return answer;
    }
};

// Events served until `done`, or a minute.
bool until(const std::function<bool()>& done) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    return done();
}

// Until every value cell of the rows in sight has come.
bool cellsIn(QuarzelDatabase& w) {
    RecordsetModel* model = w.vaSpread1->recordsetModel();
    return until([&] {
        const long top = w.vaSpread1->Row();
        for (long r = top; r < std::min<long>(top + 10, model->rowCount()); ++r)
            if (model->cellText(static_cast<int>(r), 32).isEmpty())
                return false;
        return true;
    });
}

} // namespace

void runValueColumnsCases(BenchReport& report, const std::string& dir, int tableMenuIndex,
                          long samples) {
    ProgramInfo::setPath(QString::fromStdString(dir));
    auto& engine = engine::DBEngine::instance();
    engine.SystemDB = dir + "/" + SampleData::kWorkgroupName;
    engine.DefaultUser = SampleData::kUser;
    engine.DefaultPassword = SampleData::kPassword;
    const std::string at = " (" + std::to_string(samples) + " samples, five value columns)";
    Shown shown;
    Asked asked;
    ColumnChooser::setImplementation(&shown);
    ValueQueryDialog::setImplementation(&asked);
    auto window = std::make_unique<QuarzelDatabase>();
    QuarzelDatabase& w = *window;
    w.show();
    paint(w);
    settle(w);
    w.menuItem("mnuActive1", tableMenuIndex)->trigger();
    paint(w);
    settle(w);
    RecordsetModel* model = w.vaSpread1->recordsetModel();
    {
        CommandMeter meter(&w);
        w.findChild<QAction*>("mnuColumns")->trigger();
        until([&] { return model->columnCount() == 32 + static_cast<int>(kShown.size()); });
        cellsIn(w);
        report.limit("value columns chosen, their cells painted" + at, meter.elapsed(), 5000, "ms");
        report.limit("value columns chosen: event loop held at most" + at, meter.held(), 100, "ms");
    }
    // Through the table: each jump's rows painted at once, their value
    // cells when they come.
    {
        CommandMeter meter(&w);
        std::vector<double> cells;
        const long rows = w.vaSpread1->RowCount();
        for (int step = 1; step <= 20; ++step) {
            QElapsedTimer t;
            t.start();
            w.vaSpread1->setRow(std::min(rows - 1, rows * step / 20 - 5));
            paint(w);
            cellsIn(w);
            cells.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        }
        report.limit("a jump through the table, its value cells painted (median of 20)" + at,
                     BenchReport::median(cells), 100, "ms");
        report.limit("jumps through the table: event loop held at most" + at, meter.held(), 100,
                     "ms");
    }
    auto command = [&](const std::string& name, const char* item, const char* label) {
        std::vector<double> took, held;
        for (int run = 0; run < 3; ++run) {
            w.Label3->setText(QString());
            CommandMeter meter(&w);
            w.findChild<QAction*>(item)->trigger();
            until([&] { return w.Label3->text().endsWith(label); });
            paint(w);
            took.push_back(meter.elapsed());
            settle(w);
            held.push_back(meter.held());
        }
        report.limit(name + ", to the count label painted" + at, BenchReport::median(took), 3000,
                     "ms");
        report.limit(name + ": event loop held at most" + at, BenchReport::median(held), 100, "ms");
    };
    asked.answer = {{"La", "ppm"}, 500, 510, {}, false};
    command("Find by Value La 500-510 ppm", "mnuFindValue", " Matches");
    asked.answer = {{"La", "ppm"}, {}, {}, {}, true};
    command("Sort by Value La descending", "mnuSortValue", " Records");
    ColumnChooser::setImplementation(nullptr);
    ValueQueryDialog::setImplementation(nullptr);
    window.reset();
}
