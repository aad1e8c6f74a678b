#include "DiagramWindow.h"

#include "DiagramPlot.h"
#include "classify/TasDiagram.h"
#include "norm/CipwNorm.h"
#include "norm/RockName.h"
#include "platform/data/DataControl.h"
#include "platform/data/DataRecordset.h"
#include "platform/data/RecordsetModel.h"
#include "platform/db/Database.h"
#include "platform/db/Recordset.h"
#include "platform/dialogs/FileDialogs.h"
#include "platform/dialogs/Guarded.h"
#include "platform/dialogs/MessageBox.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <stdexcept>

DiagramWindow::DiagramWindow(DataControl* data, RecordsetModel* gridModel)
    : QWidget(nullptr, Qt::Window), data_(data) {
    setObjectName("DiagramWindow");
    setWindowTitle("TAS Diagram");
    plot_ = new DiagramPlot;
    status_ = new QLabel;
    status_->setObjectName("status");
    volatileFree_ = new QCheckBox("Recalculated to 100 % free of volatiles");
    volatileFree_->setChecked(true);
    export_ = new QPushButton("E&xport...");
    auto* whole = new QPushButton("&Whole Diagram");
    whole->setObjectName("wholeDiagram");
    whole->setToolTip("Show the whole diagram again after zooming (Home)");
    auto* bar = new QHBoxLayout;
    bar->addWidget(volatileFree_);
    bar->addStretch();
    bar->addWidget(whole);
    bar->addWidget(export_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(plot_, 1);
    layout->addWidget(status_);
    resize(900, 620);

    plot_->setDescriber([this](long row) { return describe(row); });
    // Every way in from the event loop shows an engine error as the main
    // window does; none ends the program.
    connect(plot_, &DiagramPlot::rowPicked, this,
            [this](long row) { runGuarded([&] { data_->Recordset().setAbsolutePosition(row); }); });
    connect(whole, &QPushButton::clicked, plot_, &DiagramPlot::resetZoom);
    connect(volatileFree_, &QCheckBox::toggled, this, guarded([this] {
                plot_->setVolatileFree(volatileFree_->isChecked());
                reload();
            }));
    connect(export_, &QPushButton::clicked, this, guarded([this] { exportClicked(); }));
    connect(data_, &DataControl::recordsetChanged, this, guarded([this] { reload(); }));
    connect(data_, &DataControl::rowsChanged, this, guarded([this] { reload(); }));
    connect(data_, &DataControl::positionChanged, this, guarded([this] { followCurrentRow(); }));
    // Only a written row moves a point; a new number format or a dropped
    // edit changes nothing that is plotted.
    connect(gridModel, &RecordsetModel::rowWritten, this,
            [this](long row) { runGuarded([&] { rowWritten(row); }); });
}

DiagramWindow::~DiagramWindow() {
    // Every reading still running was told to stop; none outlives the window.
    if (cancel_)
        *cancel_ = true;
    for (QThread* t : readers_) {
        t->wait();
        delete t;
    }
}

void DiagramWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (stale_)
        runGuarded([this] { reload(); });
}

void DiagramWindow::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    // A closed diagram does no work: a view being read is dropped, and the
    // next show reads the view of that moment.
    if (cancel_)
        *cancel_ = true;
    ++generation_;
    stale_ = true;
}

void DiagramWindow::reload() {
    if (!isVisible()) {
        stale_ = true; // read when the window is shown again
        return;
    }
    stale_ = false;
    engine::Recordset* rs = data_->engineRecordset();
    if (cancel_)
        *cancel_ = true; // a view still being read is no longer wanted
    const quint64 generation = ++generation_;
    if (!rs) {
        loadFinished(generation, std::make_shared<tas::ViewPoints>(), QString());
        return;
    }
    plot_->setReading(true);
    status_->setText("Reading the view...");
    if (!rs->keysComplete()) {
        // Nothing waits for the rest of the keys: the view is read once
        // they are in (unless another view is shown first).
        data_->whenKeysComplete(this, [this, generation] {
            if (generation == generation_)
                runGuarded([this] { reload(); });
        });
        return;
    }
    // The reading runs on a database connection of its own, off this thread.
    const std::shared_ptr<engine::Database> database = data_->database();
    const std::string table = rs->Table();
    std::shared_ptr<std::vector<std::int64_t>> keys;
    try {
        keys = std::make_shared<std::vector<std::int64_t>>(rs->keys());
    } catch (const std::exception& e) {
        // The view cannot be read (a damaged file): no points, the reason
        // shown in the window and as the program's database error.
        loadFinished(generation, std::make_shared<tas::ViewPoints>(),
                     QString::fromStdString(e.what()));
        throw;
    }
    const bool volatileFree = volatileFree_->isChecked();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    cancel_ = cancel;
    QThread* thread =
        QThread::create([this, database, table, keys, volatileFree, cancel, generation] {
            auto view = std::make_shared<tas::ViewPoints>();
            QString error;
            try {
                auto db = database->openAnother(true);
                if (!tas::readView(*db, table, *keys, volatileFree, *view, cancel.get()))
                    return;
            } catch (const std::exception& e) {
                error = QString::fromStdString(e.what());
            }
            keys->clear();
            keys->shrink_to_fit();
            QMetaObject::invokeMethod(
                this, [this, generation, view, error] { loadFinished(generation, view, error); },
                Qt::QueuedConnection);
        });
    // Earlier readings were told to stop; each ends at its next look and is
    // cleared away here when it has, never waited for.
    connect(thread, &QThread::finished, this, [this, thread] {
        readers_.erase(std::remove(readers_.begin(), readers_.end(), thread), readers_.end());
        if (loader_ == thread)
            loader_ = nullptr;
        thread->wait(); // "finished" comes just before the thread's very end
        delete thread;
    });
    readers_.push_back(thread);
    loader_ = thread;
    thread->start();
}

void DiagramWindow::loadFinished(quint64 generation, std::shared_ptr<tas::ViewPoints> view,
                                 const QString& error) {
    if (generation != generation_)
        return; // an older view's points
    error_ = error;
    plot_->setReading(false);
    plot_->setView(std::move(view));
    followCurrentRow();
    emit loaded();
}

void DiagramWindow::rowWritten(long r) {
    if (!isVisible()) {
        stale_ = true;
        return;
    }
    auto* rs = data_->engineRecordset();
    const tas::ViewPoints* shown = plot_->view();
    if (!rs || !shown || r < 0 || static_cast<std::size_t>(r) >= shown->points.size())
        return;
    // The written row is classified again from what is stored now; its
    // point moves, and the field counts follow.
    std::vector<engine::Value> row;
    for (int c = 0; c < rs->FieldCount(); ++c)
        row.push_back(rs->valueAt(r, c));
    auto view = std::make_shared<tas::ViewPoints>(*shown);
    view->points[static_cast<std::size_t>(r)] =
        tas::pack(tas::classify(row, volatileFree_->isChecked()));
    tas::count(*view);
    plot_->setView(view);
    followCurrentRow();
}

QString DiagramWindow::describe(long row) const {
    auto* rs = data_->engineRecordset();
    const tas::ViewPoints* view = plot_->view();
    if (!rs || !view || row < 0 || row >= static_cast<long>(view->points.size()))
        return {};
    const auto& p = view->points[static_cast<std::size_t>(row)];
    QString name = !p.valid      ? tas::kNoPoint
                   : p.field < 0 ? tas::kOutside
                                 : tas::fields()[static_cast<std::size_t>(p.field)].name;
    // Sample number and rock name, as far as the row has them.
    QStringList who;
    try {
        // The name the norm gives, where the row has a norm.
        if (p.valid) {
            const norm::Norm n = norm::computeNorm(norm::Analysis::fromRecordset(*rs, row));
            if (n.valid)
                name = QString::fromStdString(norm::rockName(n));
            else
                name += " (no norm: " + QString::fromStdString(n.reason) + ")";
        }
        for (int column : {4, 0}) {
            const QString text =
                QString::fromStdString(rs->valueAt(row, column).storedText()).trimmed();
            if (!text.isEmpty())
                who << text;
        }
    } catch (const std::exception&) {
    }
    return who.isEmpty() ? name : who.join("  ") + ": " + name;
}

void DiagramWindow::followCurrentRow() {
    auto* rs = data_->engineRecordset();
    const long row = rs ? rs->AbsolutePosition() : -1;
    plot_->setCurrentRow(row);
    QString text = plot_->legendText();
    if (!error_.isEmpty())
        text = error_;
    else if (row >= 0)
        text = "Current row: " + describe(row) + ".   " + text;
    status_->setText(text);
}

void DiagramWindow::exportTo(const QString& path, const QSize& size) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("Cannot write '" + path.toStdString() +
                                 "': " + file.errorString().toStdString() + ".");
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "png") {
        QImage image(size, QImage::Format_RGB32);
        QPainter p(&image);
        plot_->render(p, size, DiagramPlot::exportStyle(size));
        p.end();
        if (!image.save(&file, "PNG"))
            file.cancelWriting();
    } else if (suffix == "svg") {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle("TAS Diagram");
        QPainter p(&svg);
        plot_->render(p, size, DiagramPlot::exportStyle(size));
    } else if (suffix == "pdf") {
        QPdfWriter pdf(&file);
        pdf.setResolution(96);
        pdf.setPageSize(QPageSize(QSizeF(size.width() * 72.0 / 96, size.height() * 72.0 / 96),
                                  QPageSize::Point));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter p(&pdf);
        plot_->render(p, size, DiagramPlot::exportStyle(size));
    } else {
        file.cancelWriting();
        throw std::runtime_error("Cannot write '" + path.toStdString() +
                                 "': choose a name ending in .png, .svg or .pdf.");
    }
    if (!file.commit())
        throw std::runtime_error("Cannot write '" + path.toStdString() +
                                 "': " + file.errorString().toStdString() + ".");
}

void DiagramWindow::exportClicked() {
    const QString path = FileDialogs::getSaveFileName(
        this, "Export the diagram", "tas-diagram.png",
        "PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)");
    if (path.isEmpty())
        return;
    bool ok = false;
    const int width = QInputDialog::getInt(this, "Export the diagram", "Width in pixels:", 1200,
                                           200, 20000, 100, &ok);
    if (!ok)
        return;
    const int height = QInputDialog::getInt(
        this, "Export the diagram", "Height in pixels:", width * 3 / 4, 150, 20000, 100, &ok);
    if (!ok)
        return;
    try {
        exportTo(path, QSize(width, height));
    } catch (const std::exception& e) {
        MessageBox::Show(QString::fromStdString(e.what()), 48, "Export Error");
    }
}
