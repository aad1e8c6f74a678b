// The map window: reading the view's positions on a thread of its own, the
// coastlines on another (each resolution once), drawing, picking, zooming,
// the area search and the export. The user-interface thread never waits:
// every reading ends in a slot, for the generation it was asked for.
#include "MapWindow.h"

#include "map/SamplePositions.h"
#include "platform/data/DataControl.h"
#include "platform/db/Database.h"
#include "platform/db/Recordset.h"
#include "platform/dialogs/FileDialogs.h"
#include "platform/dialogs/Guarded.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/view/DataRecordset.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QThread>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

constexpr double kPickPixels = 8;
constexpr int kDoziroSample = 4, kRockname = 0; // the columns that name a sample

// The lines of one shoreline (or graticule line) on the screen, broken
// where the projection cannot place a point or the line jumps across the
// world map's edge.
void addLines(const geo::MapFrame& frame, std::vector<double> lon, std::vector<double> lat,
              QPainterPath& path) {
    frame.toScreen(lon, lat);
    const double jump = frame.width() / 2 * 360 / std::max(frame.degreesAcross(), 1.0) / 2;
    bool open = false;
    for (std::size_t i = 0; i < lon.size(); ++i) {
        if (!std::isfinite(lon[i])) {
            open = false;
            continue;
        }
        const QPointF p(lon[i], lat[i]);
        if (open && std::fabs(lon[i] - lon[i - 1]) < jump && std::fabs(lat[i] - lat[i - 1]) < jump)
            path.lineTo(p);
        else
            path.moveTo(p);
        open = true;
    }
}

bool mayBeInSight(const geo::MapFrame& f, const geo::Shoreline& s) {
    if (!f.stereographic())
        return true;
    // Far beyond the view's latitudes nothing of it can show.
    const auto [lo, hi] = std::minmax_element(s.latitude.begin(), s.latitude.end());
    const double reach = f.degreesAcross() * std::max(1.0, f.height() / f.width()) + 2;
    return *hi >= f.centreLatitude() - reach && *lo <= f.centreLatitude() + reach;
}

} // namespace

MapWindow::MapWindow(DataControl* data, QWidget* parent)
    : QWidget(parent, Qt::Window), data_(data), frame_(0, 0, geo::MapFrame::kWorldSpan, 1000, 500) {
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
    auto* bar = new QHBoxLayout;
    bar->addWidget(legend_);
    bar->addStretch();
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
    connect(exportButton, &QPushButton::clicked, this, guarded([this] { exportClicked(); }));
    connect(data_->view(), &View::recordsetChanged, this, guarded([this] { reload(); }));
    connect(data_->view(), &View::rowsChanged, this, guarded([this] { reload(); }));
    connect(data_->view(), &View::rowInsertedElsewhere, this, guarded([this] { reload(); }));
    connect(data_->view(), &View::rowRemovedElsewhere, this, guarded([this] { reload(); }));
    connect(data_->view(), &View::rowsMovedElsewhere, this, guarded([this] { reload(); }));
    connect(data_->view(), &View::positionChanged, this, guarded([this] { followCurrentRow(); }));
}

MapWindow::~MapWindow() {
    if (cancel_)
        *cancel_ = true;
    for (QThread* t : threads_) {
        t->wait();
        delete t;
    }
}

void MapWindow::setFrame(const geo::MapFrame& frame) {
    frame_ = frame.resized(canvas_->width(), canvas_->height());
    screenStale_ = true;
    wantCoastlines();
    updateLegend();
    canvas_->update();
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
    if (cancel_)
        *cancel_ = true;
    ++generation_;
    stale_ = true;
}

// A thread that ends by itself, cleared away when it has.
static void track(QObject* owner, QThread* thread, std::vector<QThread*>& threads, QThread** slot) {
    QObject::connect(thread, &QThread::finished, owner, [thread, &threads, slot] {
        threads.erase(std::remove(threads.begin(), threads.end(), thread), threads.end());
        if (slot && *slot == thread)
            *slot = nullptr;
        thread->wait(); // "finished" comes just before the thread's very end
        delete thread;
    });
    threads.push_back(thread);
    thread->start();
}

void MapWindow::wantCoastlines() {
    const auto wanted = static_cast<int>(geo::Coastlines::forSpan(frame_.degreesAcross()));
    if (!isVisible() || coasts_[static_cast<std::size_t>(wanted)] || coastsReading_ >= 0)
        return;
    // A resolution that failed once is not asked for again.
    if (!coastError_.isEmpty())
        return;
    coastsReading_ = wanted;
    QThread* thread = QThread::create([this, wanted] {
        std::shared_ptr<const geo::Shorelines> lines;
        QString error;
        try {
            lines = geo::Coastlines::world(static_cast<geo::Coastlines::Resolution>(wanted));
        } catch (const std::exception& e) {
            error = QString::fromStdString(e.what());
        }
        QMetaObject::invokeMethod(
            this,
            [this, wanted, lines, error] {
                coastsReading_ = -1;
                coasts_[static_cast<std::size_t>(wanted)] = lines;
                coastError_ = error;
                updateLegend();
                canvas_->update();
                emit coastlinesLoaded();
                runGuarded([this] { wantCoastlines(); }); // the view may have moved on
            },
            Qt::QueuedConnection);
    });
    track(this, thread, threads_, nullptr);
}

void MapWindow::reload() {
    if (!isVisible()) {
        stale_ = true;
        return;
    }
    stale_ = false;
    engine::Recordset* rs = data_->engineRecordset();
    if (cancel_)
        *cancel_ = true;
    const quint64 generation = ++generation_;
    if (!rs) {
        loadFinished(generation, std::make_shared<Samples>(), QString());
        return;
    }
    status_->setText("Reading the view...");
    if (!rs->keysComplete()) {
        data_->whenKeysComplete(this, [this, generation] {
            if (generation == generation_)
                runGuarded([this] { reload(); });
        });
        return;
    }
    const std::shared_ptr<engine::Database> database = data_->database();
    const std::string table = rs->Table();
    auto keys = std::make_shared<std::vector<std::int64_t>>(rs->keys());
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    cancel_ = cancel;
    QThread* thread = QThread::create([this, database, table, keys, cancel, generation] {
        auto samples = std::make_shared<Samples>();
        QString error;
        try {
            auto db = database->openAnother(true);
            geo::SamplePositions::Facts facts;
            if (!geo::SamplePositions::read(*db, table, facts, cancel.get()))
                return;
            samples->anyValues = !facts.empty();
            for (std::int64_t key : *keys) {
                const auto it = facts.find(key);
                const geo::Position p =
                    it == facts.end() ? geo::Position() : geo::place(it->second);
                if (p.valid)
                    samples->placed.push_back({key, p.longitude, p.latitude});
                else
                    ++samples->noPosition;
            }
        } catch (const std::exception& e) {
            error = QString::fromStdString(e.what());
        }
        QMetaObject::invokeMethod(
            this,
            [this, generation, samples, error, table] {
                if (generation == generation_)
                    table_ = table;
                loadFinished(generation, samples, error);
            },
            Qt::QueuedConnection);
    });
    reader_ = thread;
    track(this, thread, threads_, &reader_);
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
    auto* rs = data_->engineRecordset();
    const long row = rs ? rs->AbsolutePosition() : -1;
    current_.reset();
    if (row >= 0)
        current_ = rs->keyAt(row);
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
    auto* rs = data_->engineRecordset();
    QStringList who;
    try {
        const long row = rs ? rs->findKey(key, rs->AbsolutePosition()) : -1;
        if (row >= 0)
            for (int column : {kDoziroSample, kRockname}) {
                const QString text =
                    QString::fromStdString(rs->valueAt(row, column).storedText()).trimmed();
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
    long inSight = 0;
    for (const QPointF& p : screenPoints())
        if (p.x() >= 0 && p.y() >= 0 && p.x() <= frame_.width() && p.y() <= frame_.height())
            ++inSight; // NaN compares false
    QString text = QString("samples in sight: %1   no position: %2")
                       .arg(inSight)
                       .arg(samples_ ? samples_->noPosition : 0);
    text += "   " + QString::fromStdString(frame_.projectionName());
    if (!coastError_.isEmpty())
        text += "   (no coastlines: " + coastError_.left(120) + ")";
    legend_->setText(text);
}

const std::vector<QPointF>& MapWindow::screenPoints() const {
    if (!screenStale_)
        return screen_;
    screenStale_ = false;
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
    p.fillRect(QRectF(0, 0, frame.width(), frame.height()), QColor(0xe8, 0xf1, 0xf8));
    // The graticule, every 30° on the world and finer nearer.
    const double span = frame.degreesAcross();
    const double step = span > 120 ? 30 : span > 40 ? 10 : span > 12 ? 5 : span > 3 ? 1 : 0.25;
    QPainterPath grid;
    for (double lon = -180; lon < 180; lon += step) {
        std::vector<double> x, y;
        for (double lat = -90; lat <= 90; lat += 1)
            x.push_back(lon), y.push_back(lat);
        addLines(frame, x, y, grid);
    }
    for (double lat = -90 + step; lat < 90; lat += step) {
        std::vector<double> x, y;
        for (double lon = -180; lon <= 180; lon += std::min(1.0, step))
            x.push_back(lon), y.push_back(lat);
        addLines(frame, x, y, grid);
    }
    p.setPen(QPen(QColor(0xb8, 0xc8, 0xd8), 0.8 * s));
    p.drawPath(grid);
    // The finest coastlines read that suit the view.
    const auto wanted = static_cast<int>(geo::Coastlines::forSpan(span));
    std::shared_ptr<const geo::Shorelines> coast;
    for (int r = wanted; r >= 0 && !coast; --r)
        coast = coasts_[static_cast<std::size_t>(r)];
    if (coast) {
        QPainterPath lines;
        for (const geo::Shoreline& line : *coast)
            if (mayBeInSight(frame, line))
                addLines(frame, line.longitude, line.latitude, lines);
        p.setPen(QPen(QColor(0x50, 0x50, 0x50), 1.0 * s));
        p.drawPath(lines);
    }
    // The samples, and the current one ringed.
    if (samples_) {
        std::vector<double> x, y;
        if (forExport) {
            for (const Sample& m : samples_->placed)
                x.push_back(m.longitude), y.push_back(m.latitude);
            frame.toScreen(x, y);
        } else {
            for (const QPointF& q : screenPoints())
                x.push_back(q.x()), y.push_back(q.y());
        }
        p.setPen(QPen(QColor(0x10, 0x30, 0x80), 0.8 * s));
        p.setBrush(QColor(0x30, 0x70, 0xe0));
        const double r = 3 * s;
        for (std::size_t i = 0; i < x.size(); ++i)
            if (std::isfinite(x[i]))
                p.drawEllipse(QPointF(x[i], y[i]), r, r);
        if (!forExport && current_)
            for (std::size_t i = 0; i < x.size(); ++i)
                if (samples_->placed[i].key == *current_ && std::isfinite(x[i])) {
                    p.setPen(QPen(Qt::red, 2));
                    p.setBrush(Qt::NoBrush);
                    p.drawEllipse(QPointF(x[i], y[i]), 8, 8);
                }
    }
    // The legend: what is not drawn, and the projection.
    QFont font = p.font();
    font.setPixelSize(static_cast<int>(12 * s));
    p.setFont(font);
    const QString legend = QString("%1 samples placed, no position: %2\n%3")
                               .arg(samples_ ? static_cast<long>(samples_->placed.size()) : 0)
                               .arg(samples_ ? samples_->noPosition : 0)
                               .arg(QString::fromStdString(frame.projectionName()));
    const QRectF box = p.boundingRect(QRectF(8 * s, 0, frame.width(), frame.height()),
                                      Qt::AlignLeft | Qt::AlignBottom, legend);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 220));
    p.drawRect(box.adjusted(-4 * s, -3 * s, 4 * s, -4 * s).translated(0, -6 * s));
    p.setPen(Qt::black);
    p.drawText(box.translated(0, -6 * s), Qt::AlignLeft | Qt::AlignBottom, legend);
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
                auto* rs = data_->engineRecordset();
                const auto key = sampleAt(at);
                if (!rs || !key)
                    return;
                const long row = rs->findKey(*key, rs->AbsolutePosition());
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

void MapWindow::exportTo(const QString& path, const QSize& size) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("Cannot write '" + path.toStdString() +
                                 "': " + file.errorString().toStdString() + ".");
    // The same view at the export's size: its width takes the same degrees.
    const geo::MapFrame frame = frame_.resized(size.width(), size.height());
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "png") {
        QImage image(size, QImage::Format_RGB32);
        QPainter p(&image);
        render(p, frame, true);
        p.end();
        if (!image.save(&file, "PNG"))
            file.cancelWriting();
    } else if (suffix == "svg") {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle("Map");
        svg.setDescription(QString::fromStdString(frame.projectionName()));
        QPainter p(&svg);
        render(p, frame, true);
    } else {
        file.cancelWriting();
        throw std::runtime_error("Cannot write '" + path.toStdString() +
                                 "': choose a name ending in .png or .svg.");
    }
    if (!file.commit())
        throw std::runtime_error("Cannot write '" + path.toStdString() +
                                 "': " + file.errorString().toStdString() + ".");
}

void MapWindow::exportClicked() {
    const QString path = FileDialogs::getSaveFileName(this, "Export the map", "map.png",
                                                      "PNG image (*.png);;SVG drawing (*.svg)");
    if (path.isEmpty())
        return;
    try {
        exportTo(path, QSize(2000, static_cast<int>(2000 * frame_.height() / frame_.width())));
    } catch (const std::exception& e) {
        MessageBox::Show(QString::fromStdString(e.what()), 48, "Export Error");
    }
}
