#include "TasWindow.h"

#include "TasPlot.h"
#include "classify/TasDiagram.h"
#include "platform/data/DataControl.h"
#include "platform/data/DataRecordset.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/Recordset.h"
#include "platform/dialogs/MessageBox.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QFileDialog>
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

#include <stdexcept>

TasWindow::TasWindow(DataControl* data, QAbstractItemModel* gridModel)
    : QWidget(nullptr, Qt::Window), data_(data) {
    setObjectName("TasWindow");
    setWindowTitle("TAS Diagram");
    plot_ = new TasPlot;
    status_ = new QLabel;
    status_->setObjectName("status");
    volatileFree_ = new QCheckBox("Recalculated to 100 % free of volatiles");
    volatileFree_->setChecked(true);
    export_ = new QPushButton("E&xport...");
    auto* bar = new QHBoxLayout;
    bar->addWidget(volatileFree_);
    bar->addStretch();
    bar->addWidget(export_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(plot_, 1);
    layout->addWidget(status_);
    resize(900, 620);

    plot_->setDescriber([this](long row) { return describe(row); });
    connect(plot_, &TasPlot::rowPicked, this, [this](long row) {
        try {
            data_->Recordset().setAbsolutePosition(row);
        } catch (const std::exception&) {
        }
    });
    connect(volatileFree_, &QCheckBox::toggled, this, [this] { reload(); });
    connect(export_, &QPushButton::clicked, this, &TasWindow::exportClicked);
    connect(data_, &DataControl::recordsetChanged, this, &TasWindow::reload);
    connect(data_, &DataControl::rowsChanged, this, &TasWindow::reload);
    connect(data_, &DataControl::positionChanged, this, &TasWindow::followCurrentRow);
    connect(gridModel, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& a, const QModelIndex& b) { rowsEdited(a.row(), b.row()); });
}

TasWindow::~TasWindow() {
    if (cancel_)
        *cancel_ = true;
    if (loader_)
        loader_->wait();
}

void TasWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (stale_)
        reload();
}

void TasWindow::reload() {
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
    status_->setText("Reading the view...");
    // The reading runs on a database connection of its own, off this thread.
    const std::string path = data_->DatabaseName().toStdString();
    const std::string table = rs->Table();
    auto keys = std::make_shared<std::vector<std::int64_t>>(rs->keys());
    const bool volatileFree = volatileFree_->isChecked();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    cancel_ = cancel;
    QThread* thread = QThread::create([this, path, table, keys, volatileFree, cancel, generation] {
        auto view = std::make_shared<tas::ViewPoints>();
        QString error;
        try {
            auto db = engine::DBEngine::instance().Workspaces(0).OpenDatabase(path);
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
    connect(thread, &QThread::finished, thread, [this, thread] {
        if (loader_ == thread)
            loader_ = nullptr;
        thread->deleteLater();
    });
    if (loader_)
        loader_->wait(); // the earlier one stops at its next check
    loader_ = thread;
    thread->start();
}

void TasWindow::loadFinished(quint64 generation, std::shared_ptr<tas::ViewPoints> view,
                             const QString& error) {
    if (generation != generation_)
        return; // an older view's points
    error_ = error;
    plot_->setView(std::move(view));
    followCurrentRow();
    emit loaded();
}

void TasWindow::rowsEdited(int first, int last) {
    auto* rs = data_->engineRecordset();
    const tas::ViewPoints* shown = plot_->view();
    if (!rs || !shown || last < first || static_cast<std::size_t>(last) >= shown->points.size())
        return;
    // The edited rows are classified again from what is stored now.
    auto view = std::make_shared<tas::ViewPoints>(*shown);
    for (int r = first; r <= last; ++r) {
        std::vector<engine::Value> row;
        try {
            for (int c = 0; c < rs->FieldCount(); ++c)
                row.push_back(rs->valueAt(r, c));
        } catch (const std::exception&) {
            continue;
        }
        view->points[static_cast<std::size_t>(r)] =
            tas::pack(tas::classify(row, volatileFree_->isChecked()));
    }
    tas::count(*view);
    plot_->setView(view);
    followCurrentRow();
}

QString TasWindow::describe(long row) const {
    auto* rs = data_->engineRecordset();
    const tas::ViewPoints* view = plot_->view();
    if (!rs || !view || row < 0 || row >= static_cast<long>(view->points.size()))
        return {};
    const auto& p = view->points[static_cast<std::size_t>(row)];
    const char* name = !p.valid      ? tas::kNoPoint
                       : p.field < 0 ? tas::kOutside
                                     : tas::fields()[static_cast<std::size_t>(p.field)].name;
    try {
        return QString("%1  %2: %3")
            .arg(QString::fromStdString(rs->valueAt(row, 4).storedText()),
                 QString::fromStdString(rs->valueAt(row, 0).storedText()), name);
    } catch (const std::exception&) {
        return name;
    }
}

void TasWindow::followCurrentRow() {
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

void TasWindow::exportTo(const QString& path, const QSize& size) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error("Cannot write '" + path.toStdString() +
                                 "': " + file.errorString().toStdString() + ".");
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "png") {
        QImage image(size, QImage::Format_RGB32);
        QPainter p(&image);
        plot_->render(p, size);
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
        plot_->render(p, size);
    } else if (suffix == "pdf") {
        QPdfWriter pdf(&file);
        pdf.setResolution(96);
        pdf.setPageSize(QPageSize(QSizeF(size.width() * 72.0 / 96, size.height() * 72.0 / 96),
                                  QPageSize::Point));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter p(&pdf);
        plot_->render(p, size);
    } else {
        file.cancelWriting();
        throw std::runtime_error("Cannot write '" + path.toStdString() +
                                 "': choose a name ending in .png, .svg or .pdf.");
    }
    if (!file.commit())
        throw std::runtime_error("Cannot write '" + path.toStdString() +
                                 "': " + file.errorString().toStdString() + ".");
}

void TasWindow::exportClicked() {
    const QString path = QFileDialog::getSaveFileName(
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
