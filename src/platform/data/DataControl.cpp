#include "DataControl.h"

#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/db/EngineError.h"
#include "platform/db/KeyLoader.h"
#include "platform/db/Recordset.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QThread>
#include <QTimer>

#include <QLabel>
#include <QToolButton>
#include <algorithm>

namespace {

// While a command waits for the engine (a count, the rest of the keys), the
// window goes on painting; the user's input waits until the command is done.
void handleEventsWhileWaiting() {
    auto* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

DataControl::DataControl(QWidget* parent) : QWidget(parent) {
    engine::KeyLoader::setWaitHook(&handleEventsWhileWaiting);
    loading_ = new QTimer(this);
    loading_->setInterval(40);
    connect(loading_, &QTimer::timeout, this, [this] { followLoading(); });
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const char* arrows[] = {"|◀", "◀", "▶", "▶|"};
    const char* tips[] = {"First record", "Previous record", "Next record", "Last record"};
    caption_ = new QLabel(this);
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setFrameShape(QFrame::Panel);
    caption_->setFrameShadow(QFrame::Sunken);
    for (int i = 0; i < 4; ++i) {
        if (i == 2)
            layout->addWidget(caption_, 1);
        auto* b = new QToolButton(this);
        b->setText(QString::fromUtf8(arrows[i]));
        b->setToolTip(tips[i]);
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRaise(false);
        b->setFixedWidth(18);
        b->setStyleSheet("QToolButton { padding: 0px; font-size: 7pt; }");
        b->setObjectName(QString("nav%1").arg(i));
        connect(b, &QToolButton::clicked, this, [this, i] { navigate(i); });
        layout->addWidget(b);
    }
}

DataControl::~DataControl() = default;

void DataControl::setDatabaseName(const QString& name) {
    databaseName_ = name;
    reopen_ = true;
}

QString DataControl::Caption() const {
    return caption_->text();
}
void DataControl::setCaption(const QString& caption) {
    caption_->setText(caption);
}

bool DataControl::recordsetReadOnly() const {
    return !recordset_ || recordset_->ReadOnly();
}

void DataControl::lockRecordset() {
    readOnly_ = true;
    if (recordset_ && !recordset_->ReadOnly()) {
        recordset_->makeReadOnly();
        emit writableChanged();
    }
}

void DataControl::Refresh() {
    // A refresh waiting for the engine lets the window paint; anything that
    // asks for another one meanwhile (closing the window) gets this one.
    if (refreshing_)
        return;
    refreshing_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{refreshing_};
    emit pendingEditsDue();
    std::shared_ptr<engine::Database> db = database_;
    if (reopen_ || !db) {
        if (databaseName_.isEmpty())
            throw engine::EngineError(3024, "Could not find file ''.");
        db = engine::DBEngine::instance().Workspaces(0).OpenDatabase(databaseName_.toStdString());
    }
    auto rs = db->OpenRecordset(recordSource_.toStdString(), readOnly_);
    emit recordsetChanging();
    database_ = std::move(db);
    reopen_ = false;
    proxy_.reset();
    recordset_ = std::move(rs);
    proxy_ = std::make_unique<DataRecordset>(*this, *recordset_);
    emit recordsetChanged();
    emit positionChanged(recordset_->AbsolutePosition());
    // Always followed to the end: a slot above may have waited for every
    // key already (the diagram reads the whole view), and the grid must
    // still be told of the rows beyond its first screen.
    loading_->start();
}

void DataControl::followLoading(bool soon) {
    if (!recordset_)
        return;
    if (recordset_->keysComplete())
        loading_->stop();
    emit rowsKnown(soon);
}

DataRecordset& DataControl::Recordset() {
    if (!proxy_)
        throw engine::EngineError(91, "Object variable or With block variable not set.");
    return *proxy_;
}

void DataControl::navigate(int which) {
    try {
        if (!proxy_ || recordset_->RecordCount() == 0)
            return;
        // The bar stops at either end rather than raising an error.
        const long pos = recordset_->AbsolutePosition();
        const long last = recordset_->RecordCount() - 1;
        long target = which == 0 ? 0 : which == 1 ? pos - 1 : which == 2 ? pos + 1 : last;
        target = std::clamp(target, 0L, last);
        proxy_->setAbsolutePosition(target);
    } catch (const std::exception& e) {
        emit commandFailed(QString::fromStdString(e.what()));
    }
}
