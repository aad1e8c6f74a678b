#include "DiagramWindow.h"

#include "DiagramChoices.h"
#include "DiagramPlot.h"
#include "PatternPlot.h"
#include "classify/Diagram.h"
#include "classify/DiscriminationView.h"
#include "classify/PatternView.h"
#include "classify/TasDiagram.h"
#include "norm/CipwNorm.h"
#include "norm/RockName.h"
#include "platform/data/DataControl.h"
#include "platform/data/RecordsetModel.h"
#include "platform/db/Database.h"
#include "platform/dialogs/FileDialogs.h"
#include "platform/dialogs/Guarded.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/view/BackgroundReader.h"
#include "platform/view/DataRecordset.h"
#include "schema/Schema.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// Where each pattern's set is remembered.
QString setKey(const QString& pattern) {
    return "Patterns/" + pattern + "Set";
}
trace::PatternKind kindOf(const QString& keyword) {
    return keyword == "ree" ? trace::PatternKind::Ree : trace::PatternKind::MultiElement;
}

} // namespace

DiagramWindow::DiagramWindow(DataControl* data, RecordsetModel* gridModel)
    : QWidget(nullptr, Qt::Window), data_(data) {
    reader_ = new BackgroundReader(this);
    setObjectName("DiagramWindow");
    setWindowTitle("TAS Diagram");
    plot_ = new DiagramPlot;
    pattern_ = new PatternPlot;
    set_ = new QComboBox;
    set_->setObjectName("normalisingSet");
    set_->setToolTip("The composition the pattern is normalised to");
    // Wide enough for a set's name; the list shows the longer variants whole.
    set_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    set_->setMinimumContentsLength(34);
    status_ = new QLabel;
    status_->setObjectName("status");
    diagram_ = new QComboBox;
    diagram_->setObjectName("diagram");
    for (const auto& [label, keyword] : diagram::kDiagrams)
        diagram_->addItem(label, QString(keyword));
    harkerColumn_ = new QComboBox;
    harkerColumn_->setObjectName("harkerColumn");
    for (int c = schema::kFirstAnalysisColumn + 1; c <= schema::kLastAnalysisColumn; ++c)
        harkerColumn_->addItem(schema::kColumns[static_cast<std::size_t>(c)]);
    harkerColumn_->addItem("FeOT");
    harkerColumn_->addItem("Mg#");
    harkerColumn_->setEnabled(false);
    colour_ = new QComboBox;
    colour_->setObjectName("colourBy");
    colour_->addItem("No colours", -1);
    for (schema::Column c : diagram::kColourColumns)
        colour_->addItem(schema::columnName(c), schema::index(c));
    volatileFree_ = new QCheckBox("Recalculated to 100 % free of volatiles");
    volatileFree_->setChecked(true);
    export_ = new QPushButton("E&xport...");
    auto* whole = new QPushButton("&Whole Diagram");
    whole->setObjectName("wholeDiagram");
    whole->setToolTip("Show the whole diagram again after zooming (Home)");
    auto* bar = new QHBoxLayout;
    auto* diagramLabel = new QLabel("&Diagram:");
    diagramLabel->setBuddy(diagram_);
    auto* colourLabel = new QLabel("&Colours:");
    colourLabel->setBuddy(colour_);
    bar->addWidget(diagramLabel);
    bar->addWidget(diagram_);
    bar->addWidget(harkerColumn_);
    bar->addWidget(set_);
    bar->addWidget(colourLabel);
    bar->addWidget(colour_);
    bar->addWidget(volatileFree_);
    bar->addStretch();
    bar->addWidget(whole);
    bar->addWidget(export_);

    // The page of eight Harker diagrams, two rows of four.
    auto* pageWidget = new QWidget;
    auto* grid = new QGridLayout(pageWidget);
    grid->setSpacing(2);
    grid->setContentsMargins(0, 0, 0, 0);
    for (std::size_t i = 0; i < chart::harkerPage().size(); ++i) {
        auto* p = new DiagramPlot;
        p->setCompact(true);
        p->setDiagram(chart::makeDiagram("harker:" + chart::harkerPage()[i]));
        grid->addWidget(p, static_cast<int>(i / 4), static_cast<int>(i % 4));
        page_.push_back(p);
    }
    stack_ = new QStackedWidget;
    stack_->addWidget(plot_);
    stack_->addWidget(pageWidget);
    stack_->addWidget(pattern_);
    set_->setVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(stack_, 1);
    layout->addWidget(status_);
    resize(1000, 640);

    // Every way in from the event loop shows an engine error as the main
    // window does; none ends the program.
    const std::vector<DiagramPlot*> all = allPlots();
    for (std::size_t i = 0; i < all.size(); ++i) {
        all[i]->setDescriber([this, i](long row) { return describe(i, row); });
        connect(all[i], &DiagramPlot::rowPicked, this, [this](long row) {
            runGuarded([&] { data_->Recordset().setAbsolutePosition(row); });
        });
    }
    pattern_->setDescriber([this](long row) { return describe(0, row); });
    connect(pattern_, &PatternPlot::rowPicked, this,
            [this](long row) { runGuarded([&] { data_->Recordset().setAbsolutePosition(row); }); });
    connect(set_, &QComboBox::currentIndexChanged, this, guarded([this] { setChosen(); }));
    connect(whole, &QPushButton::clicked, this, [this] {
        for (DiagramPlot* p : plots())
            p->resetZoom();
    });
    connect(volatileFree_, &QCheckBox::toggled, this, guarded([this] {
                for (DiagramPlot* p : plots())
                    p->setVolatileFree(volatileFree_->isChecked());
                reload();
            }));
    connect(diagram_, &QComboBox::currentIndexChanged, this, guarded([this] { choiceChanged(); }));
    connect(harkerColumn_, &QComboBox::currentIndexChanged, this,
            guarded([this] { choiceChanged(); }));
    connect(colour_, &QComboBox::currentIndexChanged, this, guarded([this] { reload(); }));
    connect(export_, &QPushButton::clicked, this, guarded([this] { exportClicked(); }));
    connect(data_->view(), &View::recordsetChanged, this, guarded([this] { reload(); }));
    connect(data_->view(), &View::rowsChanged, this, guarded([this] { reload(); }));
    // Rows another user added or deleted.
    connect(data_->view(), &View::rowInsertedElsewhere, this, guarded([this] { reload(); }));
    connect(data_->view(), &View::rowRemovedElsewhere, this, guarded([this] { reload(); }));
    connect(data_->view(), &View::rowsMovedElsewhere, this, guarded([this] { reload(); }));
    connect(data_->view(), &View::positionChanged, this, guarded([this] { followCurrentRow(); }));
    // Only a written row moves a point; a new number format or a dropped
    // edit changes nothing that is plotted.
    connect(gridModel, &RecordsetModel::rowWritten, this,
            [this](long row) { runGuarded([&] { rowWritten(row); }); });
}

DiagramWindow::~DiagramWindow() {
    // Every reading still running is told to stop; none outlives the window.
    delete reader_;
}

bool DiagramWindow::loading() const {
    return reader_->reading();
}

std::vector<DiagramPlot*> DiagramWindow::allPlots() const {
    std::vector<DiagramPlot*> v = {plot_};
    v.insert(v.end(), page_.begin(), page_.end());
    return v;
}

std::vector<DiagramPlot*> DiagramWindow::plots() const {
    if (patternShown())
        return {};
    return stack_->currentIndex() == 1 ? page_ : std::vector<DiagramPlot*>{plot_};
}

bool DiagramWindow::patternShown() const {
    return stack_->currentIndex() == 2;
}

// The sets for the pattern chosen, its remembered one (else the usual) current.
void DiagramWindow::fillSets() {
    const QString keyword = diagramKeyword();
    const QString remembered = QSettings("Quarzel", "Diagrams").value(setKey(keyword)).toString();
    const trace::NormalisingSet* chosen = trace::findSet(remembered.toStdString());
    if (!chosen)
        chosen = &trace::defaultSet(kindOf(keyword));
    const QSignalBlocker quiet(set_);
    set_->clear();
    for (const trace::NormalisingSet& s : trace::normalisingSets())
        set_->addItem(QString::fromStdString(s.name), QString::fromStdString(s.keyword));
    set_->setCurrentIndex(set_->findData(QString::fromStdString(chosen->keyword)));
}

void DiagramWindow::setChosen() {
    QSettings("Quarzel", "Diagrams")
        .setValue(setKey(diagramKeyword()), set_->currentData().toString());
    reload();
}

QString DiagramWindow::diagramKeyword() const {
    const QString k = diagram_->currentData().toString();
    return k == "harker:" ? k + harkerColumn_->currentText() : k;
}

void DiagramWindow::chooseDiagram(const QString& keyword) {
    // One reading for the choice, not one for each box changed on the way.
    const QSignalBlocker quietDiagram(diagram_), quietColumn(harkerColumn_);
    if (keyword.startsWith("harker:")) {
        harkerColumn_->setCurrentText(keyword.mid(7));
        diagram_->setCurrentIndex(diagram_->findData(QString("harker:")));
    } else {
        diagram_->setCurrentIndex(diagram_->findData(keyword));
    }
    choiceChanged();
}

void DiagramWindow::colourBy(int column) {
    colour_->setCurrentIndex(std::max(0, colour_->findData(column)));
}

void DiagramWindow::choiceChanged() {
    const QString keyword = diagramKeyword();
    harkerColumn_->setEnabled(keyword.startsWith("harker:"));
    // AFM and Shand's index are ratios: the same free of volatiles or not;
    // trace elements are read as kept.
    const auto chosen = chart::makeDiagram(keyword.toStdString());
    const bool traces = chosen && !chosen->elements().empty();
    volatileFree_->setEnabled(keyword != "afm" && keyword != "shand" && !traces);
    const bool page = keyword == "harker";
    const bool pattern = keyword == "ree" || keyword == "spider";
    set_->setVisible(pattern);
    colour_->setEnabled(!pattern);
    if (pattern) {
        volatileFree_->setEnabled(false);
        fillSets();
        pattern_->setView(nullptr); // the other pattern's rows mean nothing here
        setWindowTitle(keyword == "ree" ? "REE Pattern" : "Multi-element Pattern");
    } else if (!page) {
        std::shared_ptr<const chart::Diagram> d = chart::makeDiagram(keyword.toStdString());
        if (!d)
            return;
        if (keyword != QString::fromStdString(plot_->diagram().keyword()))
            plot_->setDiagram(d);
        setWindowTitle(QString::fromStdString(d->title()));
    } else {
        setWindowTitle("Harker Diagrams");
    }
    stack_->setCurrentIndex(pattern ? 2 : page ? 1 : 0);
    for (DiagramPlot* p : plots())
        p->setVolatileFree(volatileFree_->isChecked());
    reload();
}

void DiagramWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (stale_)
        runGuarded([this] { reload(); });
}

void DiagramWindow::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    // A closed window does no work: a view being read is dropped, and the
    // next show reads the view of that moment.
    reader_->cancel();
    ++generation_;
    stale_ = true;
    letGoOfLargeViews();
}

void DiagramWindow::letGoOfLargeViews() {
    // Every view is read again before it is shown, so a large one is let go
    // of as soon as it is no longer wanted: while the next is read (ten
    // million points twice would double the window's memory), on any plot
    // of the window and not only the one shown, and while the window is
    // closed.
    constexpr std::size_t kLarge = 1000000;
    for (DiagramPlot* p : allPlots())
        if (p->view() && p->view()->points.size() > kLarge)
            p->setView(nullptr);
    if (pattern_->view() && pattern_->view()->rows() > kLarge)
        pattern_->setView(nullptr);
}

void DiagramWindow::reload() {
    if (!isVisible()) {
        stale_ = true; // read when the window is shown again
        return;
    }
    stale_ = false;
    View* shownView = data_->view();
    reader_->cancel(); // a view still being read is no longer wanted
    const quint64 generation = ++generation_;
    const std::vector<DiagramPlot*> shown = plots();
    const bool pattern = patternShown();
    if (!shownView->shown()) {
        finishEmpty(generation, QString());
        return;
    }
    for (DiagramPlot* p : shown)
        p->setReading(true);
    pattern_->setReading(pattern);
    status_->setText("Reading the view...");
    std::optional<ViewSnapshot> taken;
    try {
        taken = shownView->snapshot();
    } catch (const std::exception& e) {
        // The view cannot be read (a damaged file): no points, the reason
        // shown in the window and as the program's database error.
        finishEmpty(generation, QString::fromStdString(e.what()));
        throw;
    }
    if (!taken) {
        // Nothing waits for the rest of the keys: the view is read once
        // they are in (unless another view is shown first).
        data_->whenKeysComplete(this, [this, generation] {
            if (generation == generation_)
                runGuarded([this] { reload(); });
        });
        return;
    }
    // The reading runs on a database connection of its own, off this
    // thread, over the view's keys as they are now.
    const ViewSnapshot snapshot = std::move(*taken);
    letGoOfLargeViews();
    if (pattern) {
        const trace::PatternKind kind = kindOf(diagramKeyword());
        const trace::NormalisingSet* set =
            trace::findSet(set_->currentData().toString().toStdString());
        if (!set)
            set = &trace::defaultSet(kind);
        reader_->start([this, snapshot, kind, set,
                        generation](const std::atomic<bool>& cancel) -> BackgroundReader::Finish {
            auto view = std::make_shared<trace::PatternView>();
            QString error;
            try {
                auto db = snapshot.database->openAnother(true);
                if (!trace::readPatterns(*db, snapshot.table, snapshot.keys(), kind, *set, *view,
                                         &cancel))
                    return nullptr;
            } catch (const std::exception& e) {
                error = QString::fromStdString(e.what());
                view.reset();
            }
            return [this, generation, view, error] { patternsFinished(generation, view, error); };
        });
        return;
    }
    auto diagrams = std::make_shared<std::vector<std::shared_ptr<const chart::Diagram>>>();
    for (DiagramPlot* p : shown)
        diagrams->push_back(chart::makeDiagram(p->diagram().keyword()));
    const bool volatileFree = volatileFree_->isChecked();
    const int colourColumn = colour_->currentData().toInt();
    if (!diagrams->front()->elements().empty()) {
        reader_->start([this, snapshot, diagrams, colourColumn,
                        generation](const std::atomic<bool>& cancel) -> BackgroundReader::Finish {
            auto views = std::make_shared<std::vector<tas::ViewPoints>>(1);
            auto why = std::make_shared<chart::NoPointReasons>();
            QString error;
            try {
                auto db = snapshot.database->openAnother(true);
                if (!chart::readTraceView(*db, snapshot.table, snapshot.keys(), *diagrams->front(),
                                          colourColumn, views->front(), *why, &cancel))
                    return nullptr;
            } catch (const std::exception& e) {
                error = QString::fromStdString(e.what());
                views->assign(1, tas::ViewPoints());
                *why = chart::NoPointReasons();
            }
            return [this, generation, views, why, error] {
                if (generation == generation_)
                    reasons_ = why;
                loadFinished(generation, views, error);
            };
        });
        return;
    }
    reader_->start([this, snapshot, diagrams, volatileFree, colourColumn,
                    generation](const std::atomic<bool>& cancel) -> BackgroundReader::Finish {
        auto views = std::make_shared<std::vector<tas::ViewPoints>>();
        QString error;
        try {
            auto db = snapshot.database->openAnother(true);
            std::vector<const chart::Diagram*> which;
            for (const auto& d : *diagrams)
                which.push_back(d.get());
            if (!tas::readViews(*db, snapshot.table, snapshot.keys(), which, volatileFree,
                                colourColumn, *views, &cancel))
                return nullptr;
        } catch (const std::exception& e) {
            error = QString::fromStdString(e.what());
            views->assign(diagrams->size(), tas::ViewPoints());
        }
        return [this, generation, views, error] { loadFinished(generation, views, error); };
    });
}

void DiagramWindow::finishEmpty(quint64 generation, const QString& error) {
    if (patternShown())
        patternsFinished(generation, nullptr, error);
    else
        loadFinished(generation, std::make_shared<std::vector<tas::ViewPoints>>(plots().size()),
                     error);
}

void DiagramWindow::loadFinished(quint64 generation,
                                 std::shared_ptr<std::vector<tas::ViewPoints>> views,
                                 const QString& error) {
    if (generation != generation_)
        return; // an older view's points
    error_ = error;
    const std::vector<DiagramPlot*> shown = plots();
    const bool traces = !shown.front()->diagram().elements().empty();
    if (!traces)
        reasons_.reset();
    plot_->setNoPointNote(reasons_ ? QString::fromStdString(reasons_->summary(plot_->diagram()))
                                   : QString());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        shown[i]->setReading(false);
        shown[i]->setView(i < views->size()
                              ? std::make_shared<tas::ViewPoints>(std::move((*views)[i]))
                              : std::make_shared<tas::ViewPoints>());
    }
    followCurrentRow();
    emit loaded();
}

void DiagramWindow::patternsFinished(quint64 generation, std::shared_ptr<trace::PatternView> view,
                                     const QString& error) {
    if (generation != generation_)
        return;
    error_ = error;
    pattern_->setReading(false);
    pattern_->setView(std::move(view));
    followCurrentRow();
    emit loaded();
}

void DiagramWindow::rowWritten(long r) {
    if (!isVisible()) {
        stale_ = true;
        return;
    }
    if (patternShown() || !plot_->diagram().elements().empty()) {
        // K, P and Ti may come from the row's oxides, the rest from its kept
        // values: read again, off this thread.
        reload();
        return;
    }
    View* rs = data_->view();
    if (!rs->shown() || r < 0)
        return;
    // The written row is placed again from what is stored now; its point
    // moves, and the counts follow.
    for (DiagramPlot* p : plots()) {
        const tas::ViewPoints* shown = p->view();
        if (!shown || static_cast<std::size_t>(r) >= shown->points.size())
            continue;
        const chart::Diagram& d = p->diagram();
        std::vector<double> values;
        for (int c : d.columns()) {
            const engine::Value& v = rs->valueAt(r, c);
            values.push_back(v.isNumber() ? v.toReal() : std::nan(""));
        }
        p->placeRow(static_cast<std::size_t>(r),
                    d.place(values.data(), volatileFree_->isChecked()));
    }
    followCurrentRow();
}

namespace {

// The ratios of a row's pattern as drawn: "(La/Yb)N 12.3, Eu/Eu* 0.95".
QString ratiosOfRow(const trace::PatternView& v, long row) {
    const trace::NormalisingSet* set = trace::findSet(v.setKeyword);
    if (!set || row < 0 || static_cast<std::size_t>(row) >= v.rows())
        return {};
    trace::Composition n;
    const std::size_t count = v.elements.size();
    for (std::size_t i = 0; i < count; ++i)
        n[static_cast<std::size_t>(v.elements[i])] = {v.value(static_cast<std::size_t>(row), i),
                                                      v.limit(static_cast<std::size_t>(row), i)};
    QStringList out;
    const auto ratios = trace::ratiosOf(n, *set);
    for (std::size_t i = 0; i < ratios.size(); ++i)
        if (ratios[i].why.empty())
            out << QString("%1 %2").arg(trace::kRatioNames[i]).arg(ratios[i].value, 0, 'g', 3);
    return out.isEmpty() ? QString("no ratios") : out.join(", ");
}

} // namespace

QString DiagramWindow::describe(std::size_t plotIndex, long row) const {
    View* rs = data_->view();
    if (patternShown()) {
        const trace::PatternView* v = pattern_->view();
        if (!rs->shown() || !v || row < 0 || static_cast<std::size_t>(row) >= v->rows())
            return {};
        QStringList who;
        try {
            for (schema::Column column : schema::kSampleName) {
                const QString text =
                    QString::fromStdString(rs->valueAt(row, schema::index(column)).storedText())
                        .trimmed();
                if (!text.isEmpty())
                    who << text;
            }
        } catch (const std::exception&) {
        }
        const QString ratios = ratiosOfRow(*v, row);
        return who.isEmpty() ? ratios : who.join("  ") + ": " + ratios;
    }
    const DiagramPlot* p = plotIndex == 0 ? plot_ : page_[plotIndex - 1];
    const tas::ViewPoints* view = p->view();
    if (!rs->shown() || !view || row < 0 || row >= static_cast<long>(view->points.size()))
        return {};
    const auto& pt = view->points[static_cast<std::size_t>(row)];
    const int field = view->field[static_cast<std::size_t>(row)];
    const chart::Diagram& d = p->diagram();
    QString name = !pt.valid() ? tas::kNoPoint
                   : field < 0
                       ? QString::fromStdString(d.unclassed())
                       : QString::fromStdString(d.classes()[static_cast<std::size_t>(field)]);
    // Sample number and rock name, as far as the row has them.
    QStringList who;
    try {
        // On TAS, the name the norm gives, where the row has a norm.
        if (pt.valid() && (d.keyword() == "tas" || d.keyword() == "tas-plutonic")) {
            const norm::Norm n = norm::computeNorm(
                norm::Analysis::fromCells(rs->fieldCount(), [&](int c) -> const engine::Value& {
                    return rs->valueAt(row, c);
                }));
            if (n.valid)
                name = QString::fromStdString(norm::rockName(
                    n, d.keyword() == "tas" ? norm::Names::ByRockName : norm::Names::Plutonic));
            else
                name += " (no norm: " + QString::fromStdString(n.reason) + ")";
        }
        for (schema::Column column : schema::kSampleName) {
            const QString text =
                QString::fromStdString(rs->valueAt(row, schema::index(column)).storedText())
                    .trimmed();
            if (!text.isEmpty())
                who << text;
        }
    } catch (const std::exception&) {
    }
    if (!pt.valid() && reasons_ && !d.elements().empty()) {
        const std::string why = chart::NoPointReasons::ofRowText(d, *view, row);
        if (!why.empty())
            name += ": " + QString::fromStdString(why);
    }
    if (name.isEmpty()) // a variation diagram: the row's values
        name = QString("%1, %2").arg(pt.silica, 0, 'f', 2).arg(pt.alkali, 0, 'f', 2);
    return who.isEmpty() ? name : who.join("  ") + ": " + name;
}

void DiagramWindow::followCurrentRow() {
    const long row = data_->view()->position();
    if (patternShown()) {
        pattern_->setCurrentRow(row);
        QString text = pattern_->legendText();
        if (!error_.isEmpty())
            text = error_;
        else if (row >= 0)
            text = "Current row: " + describe(0, row) + ".   " + text;
        status_->setText(text);
        return;
    }
    const std::vector<DiagramPlot*> shown = plots();
    for (DiagramPlot* p : shown)
        p->setCurrentRow(row);
    QString text = shown.front()->legendText();
    if (!error_.isEmpty())
        text = error_;
    else if (row >= 0)
        text = "Current row: " + describe(shown.front() == plot_ ? 0 : 1, row) + ".   " + text;
    status_->setText(text);
}
