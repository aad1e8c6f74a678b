// The map window: reading the view's positions on a thread of its own, the
// coastlines on another (each resolution once), drawing, picking, zooming,
// the area search and the export. The user-interface thread never waits:
// every reading ends in a slot, for the generation it was asked for.
#include "MapWindow.h"

#include "DiagramChoices.h"
#include "classify/Diagram.h"
#include "classify/TasView.h"
#include "map/SamplePositions.h"
#include "platform/data/DataControl.h"
#include "platform/db/Database.h"
#include "platform/dialogs/Guarded.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/view/BackgroundReader.h"
#include "platform/view/DataRecordset.h"
#include "schema/Schema.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

constexpr double kPickPixels = 8;

} // namespace

MapWindow::MapWindow(DataControl* data, QWidget* parent)
    : QWidget(parent, Qt::Window), data_(data), frame_(0, 0, geo::MapFrame::kWorldSpan, 1000, 500) {
    reader_ = new BackgroundReader(this);
    setObjectName("MapWindow");
    setWindowTitle("Map");
    canvas_ = new QWidget;
    canvas_->setObjectName("map");
    canvas_->setMouseTracking(true);
    canvas_->setFocusPolicy(Qt::StrongFocus);
    canvas_->setMinimumSize(300, 200);
    canvas_->installEventFilter(this);
    legend_ = new QLabel;
    legend_->setObjectName("legend");
    status_ = new QLabel;
    status_->setObjectName("status");
    auto* world = new QPushButton("&Whole World");
    world->setObjectName("wholeWorld");
    world->setToolTip("Show the whole world again after zooming (Home)");
    auto* exportButton = new QPushButton("E&xport...");
    colour_ = new QComboBox;
    colour_->setObjectName("colourBy");
    colour_->addItem("No colours", -1);
    for (schema::Column c : diagram::kColourColumns)
        colour_->addItem(schema::columnName(c), schema::index(c));
    auto* colourLabel = new QLabel("&Colours:");
    colourLabel->setBuddy(colour_);
    auto* bar = new QHBoxLayout;
    // Its lines as long as they come, never widening the window.
    legend_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(legend_, 1);
    bar->addWidget(colourLabel);
    bar->addWidget(colour_);
    bar->addWidget(world);
    bar->addWidget(exportButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(canvas_, 1);
    layout->addWidget(status_);
    resize(1000, 600);

    connect(world, &QPushButton::clicked, this, [this] {
        setFrame(
            geo::MapFrame(0, 0, geo::MapFrame::kWorldSpan, canvas_->width(), canvas_->height()));
    });
    connect(colour_, &QComboBox::currentIndexChanged, this, guarded([this] { reload(); }));
    connect(exportButton, &QPushButton::clicked, this, guarded([this] { exportClicked(); }));
    connect(data_->view(), &View::recordsetChanged, this, guarded([this] { reload(); }));
    connect(data_->view(), &View::rowsChanged, this, guarded([this] { reload(); }));
    connect(data_->view(), &View::rowInsertedElsewhere, this, guarded([this] { reload(); }));
    connect(data_->view(), &View::rowRemovedElsewhere, this, guarded([this] { reload(); }));
    connect(data_->view(), &View::rowsMovedElsewhere, this, guarded([this] { reload(); }));
    connect(data_->view(), &View::positionChanged, this, guarded([this] { followCurrentRow(); }));
}

MapWindow::~MapWindow() {
    delete reader_; // every reading told to stop, and waited for: none outlives the window
}

bool MapWindow::loading() const {
    return reader_->reading();
}

void MapWindow::setFrame(const geo::MapFrame& frame) {
    frame_ = frame.resized(canvas_->width(), canvas_->height());
    screenStale_ = true;
    wantCoastlines();
    updateLegend();
    canvas_->update();
}

void MapWindow::colourBy(int column) {
    colour_->setCurrentIndex(std::max(0, colour_->findData(column)));
}

bool MapWindow::drawsDensity() const {
    return MapPlot::countInSight(screenPoints(), frame_) > MapPlot::kMaxDots;
}

bool MapWindow::coastlinesShown() const {
    return std::any_of(coasts_.begin(), coasts_.end(), [](const auto& c) { return c != nullptr; });
}

void MapWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    runGuarded([this] {
        wantCoastlines();
        if (stale_)
            reload();
    });
}

void MapWindow::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    reader_->cancel();
    ++generation_;
    stale_ = true;
}

void MapWindow::wantCoastlines() {
    const auto wanted = static_cast<int>(geo::Coastlines::forSpan(frame_.degreesAcross()));
    if (!isVisible() || coasts_[static_cast<std::size_t>(wanted)] || coastsReading_ >= 0)
        return;
    // A resolution that failed once is not asked for again.
    if (!coastError_.isEmpty())
        return;
    coastsReading_ = wanted;
    reader_->startBeside([this, wanted](const std::atomic<bool>&) -> BackgroundReader::Finish {
        std::shared_ptr<const geo::Shorelines> lines;
        QString error;
        try {
            lines = geo::Coastlines::world(static_cast<geo::Coastlines::Resolution>(wanted));
        } catch (const std::exception& e) {
            error = QString::fromStdString(e.what());
        }
        return [this, wanted, lines, error] {
            coastsReading_ = -1;
            coasts_[static_cast<std::size_t>(wanted)] = lines;
            coastError_ = error;
            updateLegend();
            canvas_->update();
            emit coastlinesLoaded();
            runGuarded([this] { wantCoastlines(); }); // the view may have moved on
        };
    });
}

void MapWindow::reload() {
    if (!isVisible()) {
        stale_ = true;
        return;
    }
    stale_ = false;
    View* view = data_->view();
    reader_->cancel();
    const quint64 generation = ++generation_;
    if (!view->shown()) {
        loadFinished(generation, std::make_shared<Samples>(), QString());
        return;
    }
    status_->setText("Reading the view...");
    const std::optional<ViewSnapshot> taken = view->snapshot();
    if (!taken) {
        data_->whenKeysComplete(this, [this, generation] {
            if (generation == generation_)
                runGuarded([this] { reload(); });
        });
        return;
    }
    const ViewSnapshot snapshot = *taken;
    const int colourColumn = colour_->currentData().toInt();
    reader_->start(
        [this, snapshot, generation, colourColumn](
            const std::atomic<bool>& cancel) -> BackgroundReader::Finish {
            auto samples = std::make_shared<Samples>();
            QString error;
            try {
                auto db = snapshot.database->openAnother(true);
                const std::string& table = snapshot.table;
                const engine::KeySpan keys = snapshot.keys();
                geo::SamplePositions::Facts facts;
                if (!geo::SamplePositions::read(*db, table, facts, &cancel))
                    return nullptr;
                samples->anyValues = !facts.empty();
                // The colours grouped as the diagram's are (the most frequent
                // values, the rest as "other"), over the whole view: read by the
                // diagram's own reader, whose TAS columns come along unused.
                std::vector<tas::ViewPoints> views;
                if (colourColumn >= 0) {
                    const auto tas = chart::makeDiagram("tas");
                    if (!tas::readViews(*db, table, keys, {tas.get()}, true, colourColumn, views,
                                        &cancel))
                        return nullptr;
                }
                const bool coloured = !views.empty() && views[0].colour.size() == keys.size();
                MapPlot::Colours& colours = samples->colours;
                if (coloured) {
                    colours.names = views[0].colourNames;
                    colours.count.assign(colours.names.size(), 0);
                }
                for (std::size_t i = 0; i < keys.size(); ++i) {
                    const std::int64_t key = keys[i];
                    const auto it = facts.find(key);
                    const geo::Position p =
                        it == facts.end() ? geo::Position() : geo::place(it->second);
                    if (p.valid) {
                        samples->placed.push_back({key, p.longitude, p.latitude});
                        if (coloured) {
                            colours.of.push_back(views[0].colour[i]);
                            ++colours.count[views[0].colour[i]];
                        }
                    } else
                        ++samples->noPosition;
                }
            } catch (const std::exception& e) {
                error = QString::fromStdString(e.what());
            }
            return [this, generation, samples, error, table = snapshot.table] {
                if (generation == generation_)
                    table_ = table;
                loadFinished(generation, samples, error);
            };
        });
}

void MapWindow::loadFinished(quint64 generation, std::shared_ptr<Samples> samples,
                             const QString& error) {
    if (generation != generation_)
        return;
    error_ = error;
    samples_ = std::move(samples);
    screenStale_ = true;
    followCurrentRow();
    updateLegend();
    canvas_->update();
    emit loaded();
}

void MapWindow::followCurrentRow() {
    View* view = data_->view();
    const long row = view->position();
    current_.reset();
    if (row >= 0)
        current_ = view->keyAt(row);
    QString text = error_;
    if (text.isEmpty() && current_) {
        text = "Current row: " + describe(*current_);
        const bool placed =
            samples_ && std::any_of(samples_->placed.begin(), samples_->placed.end(),
                                    [&](const Sample& s) { return s.key == *current_; });
        if (!placed)
            text += " (no position)";
    }
    status_->setText(text);
    canvas_->update();
}

QString MapWindow::describe(std::int64_t key) const {
    View* rs = data_->view();
    QStringList who;
    try {
        const long row = rs->indexOf(key, rs->position());
        if (row >= 0)
            for (schema::Column column : schema::kSampleName) {
                const QString text =
                    QString::fromStdString(rs->valueAt(row, schema::index(column)).storedText())
                        .trimmed();
                if (!text.isEmpty())
                    who << text;
            }
    } catch (const std::exception&) {
    }
    if (samples_)
        for (const Sample& s : samples_->placed)
            if (s.key == key) {
                who << QString("%1°%2 %3°%4")
                           .arg(std::fabs(s.latitude), 0, 'f', 4)
                           .arg(s.latitude < 0 ? 'S' : 'N')
                           .arg(std::fabs(s.longitude), 0, 'f', 4)
                           .arg(s.longitude < 0 ? 'W' : 'E');
                break;
            }
    return who.isEmpty() ? QString("ID %1").arg(key) : who.join("  ");
}

void MapWindow::updateLegend() {
    const long inSight = MapPlot::countInSight(screenPoints(), frame_);
    QString text = QString("samples in sight: %1   no position: %2")
                       .arg(inSight)
                       .arg(samples_ ? samples_->noPosition : 0);
    text += "   " + QString::fromStdString(frame_.projectionName());
    const QString drawing =
        MapPlot::drawingText(inSight, samples_ ? samples_->colours : MapPlot::Colours());
    if (!drawing.isEmpty())
        text += "\n" + drawing;
    if (!coastError_.isEmpty())
        text += "   (no coastlines: " + coastError_.left(120) + ")";
    legend_->setText(text);
}

const std::vector<QPointF>& MapWindow::screenPoints() const {
    if (!screenStale_)
        return screen_;
    screenStale_ = false;
    ++screenSerial_;
    screen_.clear();
    if (!samples_)
        return screen_;
    std::vector<double> x, y;
    for (const Sample& m : samples_->placed)
        x.push_back(m.longitude), y.push_back(m.latitude);
    frame_.toScreen(x, y);
    for (std::size_t i = 0; i < x.size(); ++i)
        screen_.emplace_back(x[i], y[i]);
    return screen_;
}

std::optional<std::int64_t> MapWindow::sampleAt(QPointF at) const {
    const std::vector<QPointF>& screen = screenPoints();
    std::optional<std::int64_t> best;
    double bestDistance = kPickPixels;
    for (std::size_t i = 0; i < screen.size(); ++i) {
        const double d = std::hypot(screen[i].x() - at.x(), screen[i].y() - at.y());
        if (d <= bestDistance) { // NaN never is
            bestDistance = d;
            best = samples_->placed[i].key;
        }
    }
    return best;
}

QString MapWindow::areaStatement(const geo::Area& area) const {
    return QString::fromStdString("SELECT * From " + geo::SamplePositions::bracketed(table_) +
                                  " Where " + area.condition(table_) + " Order By [Rockname] ASC");
}

void MapWindow::chooseArea(QPointF from, QPointF to) {
    if (table_.empty() || std::fabs(from.x() - to.x()) < 3 || std::fabs(from.y() - to.y()) < 3)
        return;
    if (!samples_ || !samples_->anyValues) {
        MessageBox::Show("No sample of this table has a position.", 64, "Map");
        return;
    }
    const geo::Area a = frame_.areaOf(from.x(), from.y(), to.x(), to.y());
    const QString description = QString("%1° to %2° E, %3° to %4° N")
                                    .arg(a.west, 0, 'f', 2)
                                    .arg(a.east, 0, 'f', 2)
                                    .arg(a.south, 0, 'f', 2)
                                    .arg(a.north, 0, 'f', 2);
    emit areaChosen(areaStatement(a), description);
}

void MapWindow::render(QPainter& p, const geo::MapFrame& frame, bool forExport) const {
    const double s = forExport ? std::max(1.0, frame.width() / 1000) : 1;
    p.setRenderHint(QPainter::Antialiasing);
    // The finest coastlines read that suit the view.
    const auto wanted = static_cast<int>(geo::Coastlines::forSpan(frame.degreesAcross()));
    std::shared_ptr<const geo::Shorelines> coast;
    for (int r = wanted; r >= 0 && !coast; --r)
        coast = coasts_[static_cast<std::size_t>(r)];
    ground_.draw(p, frame, coast, s);
    // The samples (an export projects them for its own size, and keeps its
    // density cells apart from the screen's), and the current one ringed.
    const MapPlot::Colours none;
    const MapPlot::Colours& colours = samples_ ? samples_->colours : none;
    std::vector<QPointF> exported;
    if (forExport && samples_) {
        std::vector<double> x, y;
        for (const Sample& m : samples_->placed)
            x.push_back(m.longitude), y.push_back(m.latitude);
        frame.toScreen(x, y);
        for (std::size_t i = 0; i < x.size(); ++i)
            exported.emplace_back(x[i], y[i]);
    }
    const std::vector<QPointF>& screen = forExport ? exported : screenPoints();
    const long inSight = MapPlot::countInSight(screen, frame);
    if (forExport)
        MapPlot().drawSamples(p, frame, screen, colours, 1, s);
    else
        plot_.drawSamples(p, frame, screen, colours, screenSerial_, s);
    if (!forExport && current_ && samples_)
        for (std::size_t i = 0; i < screen.size(); ++i)
            if (samples_->placed[i].key == *current_ && std::isfinite(screen[i].x())) {
                p.setPen(QPen(Qt::red, 2));
                p.setBrush(Qt::NoBrush);
                p.drawEllipse(screen[i], 8, 8);
            }
    MapPlot::drawDegrees(p, frame, s);
    if (inSight <= MapPlot::kMaxDots)
        MapPlot::drawColourKey(p, colours, s);
    MapPlot::drawScaleBar(p, frame, s);
    // The legend: what is not drawn, how the samples are, and the projection.
    QFont font = p.font();
    font.setPixelSize(static_cast<int>(12 * s));
    p.setFont(font);
    QString legend = QString("%1 samples placed, no position: %2\n%3")
                         .arg(samples_ ? static_cast<long>(samples_->placed.size()) : 0)
                         .arg(samples_ ? samples_->noPosition : 0)
                         .arg(QString::fromStdString(frame.projectionName()));
    const QString drawing = MapPlot::drawingText(inSight, colours);
    if (!drawing.isEmpty())
        legend += "\n" + drawing;
    const QRectF box = p.boundingRect(QRectF(8 * s, 0, frame.width() * 0.7, frame.height()),
                                      Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, legend);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 220));
    p.drawRect(box.adjusted(-4 * s, -3 * s, 4 * s, -4 * s).translated(0, -17 * s));
    p.setPen(Qt::black);
    p.drawText(box.translated(0, -17 * s), Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap,
               legend);
}

bool MapWindow::eventFilter(QObject* watched, QEvent* e) {
    if (watched != canvas_)
        return QWidget::eventFilter(watched, e);
    switch (e->type()) {
    case QEvent::Paint: {
        QPainter p(canvas_);
        render(p, frame_, false);
        if (choosingArea_) {
            p.setPen(QPen(QColor(0xc0, 0x20, 0x20), 1, Qt::DashLine));
            p.setBrush(QColor(0xc0, 0x20, 0x20, 30));
            p.drawRect(QRectF(pressedAt_, dragAt_).normalized());
        }
        return true;
    }
    case QEvent::Resize:
        runGuarded([this] { setFrame(frame_); });
        return false;
    case QEvent::MouseButtonPress: {
        auto* m = static_cast<QMouseEvent*>(e);
        pressedAt_ = dragAt_ = m->position();
        dragging_ = true;
        choosingArea_ = m->button() == Qt::RightButton ||
                        (m->button() == Qt::LeftButton && (m->modifiers() & Qt::ShiftModifier));
        return true;
    }
    case QEvent::MouseMove: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (dragging_ && choosingArea_) {
            dragAt_ = m->position();
            canvas_->update();
        } else if (dragging_) {
            // Panning with the left button.
            setFrame(frame_.panned(dragAt_.x(), dragAt_.y(), m->position().x(), m->position().y()));
            dragAt_ = m->position();
        } else {
            runGuarded([&] {
                const auto key = sampleAt(m->position());
                const QString text = key ? describe(*key) : QString();
                canvas_->setToolTip(text);
                if (key)
                    QToolTip::showText(m->globalPosition().toPoint(), text, canvas_);
                else
                    QToolTip::hideText();
            });
        }
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (!dragging_)
            return true;
        dragging_ = false;
        const QPointF at = m->position();
        if (choosingArea_) {
            choosingArea_ = false;
            canvas_->update();
            runGuarded([&] { chooseArea(pressedAt_, at); });
        } else if (std::hypot(at.x() - pressedAt_.x(), at.y() - pressedAt_.y()) < 4) {
            // A click, not a pan: the nearest sample becomes the grid's row.
            runGuarded([&] {
                View* view = data_->view();
                const auto key = sampleAt(at);
                if (!view->shown() || !key)
                    return;
                const long row = view->indexOf(*key, view->position());
                if (row >= 0) // through the data control: the grid follows
                    data_->Recordset().setAbsolutePosition(row);
            });
        }
        return true;
    }
    case QEvent::Wheel: {
        auto* w = static_cast<QWheelEvent*>(e);
        const double factor = std::pow(2.0, w->angleDelta().y() / 240.0);
        runGuarded(
            [&] { setFrame(frame_.zoomedAbout(w->position().x(), w->position().y(), factor)); });
        return true;
    }
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Home) {
            runGuarded([this] {
                setFrame(geo::MapFrame(0, 0, geo::MapFrame::kWorldSpan, frame_.width(),
                                       frame_.height()));
            });
            return true;
        }
        return false;
    default:
        return false;
    }
}
