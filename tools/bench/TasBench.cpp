#include "TasBench.h"

#include "BenchReport.h"
#include "SampleData.h"
#include "classify/Diagram.h"
#include "classify/TasPoint.h"
#include "classify/TasView.h"
#include "diagram/DiagramPlot.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/Recordset.h"
#include "schema/Schema.h"

#include <QImage>
#include <QPainter>

#include <sqlite3.h>

#include <memory>
#include <stdexcept>

void runTasCases(BenchReport& report, const std::string& dir) {
    const std::string path = dir + "/" + SampleData::kDatabaseName;
    auto db = engine::DBEngine::instance().Workspaces(0).OpenDatabase(path);
    auto rs = db->OpenRecordset("SELECT * From [DOZIRO1]Order By [Rockname] ASC", true);
    const std::string rows = std::to_string(rs->RecordCount());

    // The reference reads the same columns of every row, opened as the
    // engine opens its own connection.
    sqlite3* raw = nullptr;
    if (sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK)
        throw std::runtime_error("cannot open " + path);
    std::string sql = "SELECT ID";
    for (int c : tas::sumColumns())
        sql += std::string(", \"") + schema::kColumns[static_cast<std::size_t>(c)] + "\"";
    sql += " FROM DOZIRO1";
    double sink = 0;
    auto reference = [&] {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(raw, sql.c_str(), -1, &s, nullptr);
        const int n = sqlite3_column_count(s);
        while (sqlite3_step(s) == SQLITE_ROW)
            for (int i = 0; i < n; ++i)
                sink += sqlite3_column_double(s, i);
        sqlite3_finalize(s);
    };

    DiagramPlot plot;
    plot.resize(900, 620);
    QImage image(plot.size(), QImage::Format_RGB32);
    auto view = std::make_shared<tas::ViewPoints>();
    const std::vector<std::int64_t> keys = rs->keys();
    report.compare(
        "TAS: read, classify, bin and paint a " + rows + "-row view",
        [&] {
            tas::readView(*db, rs->Table(), keys, true, *view);
            plot.setView(view);
            QPainter p(&image);
            plot.render(p, plot.size());
        },
        reference, 1.5, 5);
    // The other diagrams, each against the same reading of its columns
    // (the volatile-free sum's, which every one of them reads).
    for (const char* keyword : {"k2o", "afm", "shand", "harker:MgO"}) {
        const auto diagram = std::shared_ptr<const chart::Diagram>(chart::makeDiagram(keyword));
        DiagramPlot other;
        other.resize(900, 620);
        other.setDiagram(diagram);
        report.compare(
            "diagram " + diagram->keyword() + ": read, place, bin and paint a " + rows +
                "-row view",
            [&] {
                auto v = std::make_shared<tas::ViewPoints>();
                tas::readView(*db, rs->Table(), keys, *diagram, true, *v);
                other.setView(v);
                QPainter p(&image);
                other.render(p, other.size());
            },
            reference, 1.5, 5);
    }
    {
        // The page of eight Harker diagrams: one reading, eight plots.
        std::vector<std::unique_ptr<chart::Diagram>> owned;
        std::vector<const chart::Diagram*> page;
        std::vector<std::unique_ptr<DiagramPlot>> plots;
        for (const std::string& column : chart::harkerPage()) {
            owned.push_back(chart::makeDiagram("harker:" + column));
            page.push_back(owned.back().get());
            plots.push_back(std::make_unique<DiagramPlot>());
            plots.back()->setCompact(true);
            plots.back()->resize(250, 310);
            plots.back()->setDiagram(chart::makeDiagram("harker:" + column));
        }
        report.compare(
            "Harker page: read, place, bin and paint eight diagrams of a " + rows + "-row view",
            [&] {
                std::vector<tas::ViewPoints> views;
                tas::readViews(*db, rs->Table(), keys, page, true, -1, views);
                QImage cell(250, 310, QImage::Format_RGB32);
                for (std::size_t i = 0; i < plots.size(); ++i) {
                    plots[i]->setView(std::make_shared<tas::ViewPoints>(std::move(views[i])));
                    QPainter p(&cell);
                    plots[i]->render(p, cell.size());
                }
            },
            reference, 2.0, 5);
    }
    report.limit("TAS: bytes kept per row of the view (" + rows + " rows)",
                 static_cast<double>(sizeof(tas::PackedPoint) + sizeof(std::int8_t)), 32, "bytes");
    const double follow = BenchReport::milliseconds([&] {
        for (long r = 0; r < 1000; ++r)
            plot.setCurrentRow(r);
    });
    report.limit("TAS: following 1000 moves of the current row", follow, 1, "ms");
    sqlite3_close(raw);
    (void)sink;
}
