#pragma once

#include "platform/view/DataRecordset.h"
#include "platform/view/View.h"

#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
namespace engine {
class Database;
}

// The data control: the small navigation bar users expect (first,
// previous, next, last) over the view it owns, which holds the open
// database and the record set of its record source. DatabaseName,
// RecordSource and ReadOnly take effect at the next Refresh. Failures are
// thrown as exceptions carrying the engine's description; the control never
// shows a message itself.
class DataControl : public QWidget {
    Q_OBJECT
public:
    explicit DataControl(QWidget* parent = nullptr);
    ~DataControl() override;

    View* view() const { return view_; }

    QString DatabaseName() const { return view_->databaseName(); }
    void setDatabaseName(const QString& name) { view_->setDatabaseName(name); }
    QString RecordSource() const { return view_->recordSource(); }
    void setRecordSource(const QString& sql) { view_->setRecordSource(sql); }
    bool ReadOnly() const { return view_->readOnly(); }
    void setReadOnly(bool readOnly) { view_->setReadOnly(readOnly); }
    QString Caption() const;
    void setCaption(const QString& caption);

    // Runs the record source. On failure the previous record set stays.
    void Refresh() { view_->refresh(); }
    // The same for a command that goes on in its waits: the rows shown stay
    // until the new set's first screen comes, and a failure meanwhile is
    // told to the waits' failed.
    void beginRefresh() { view_->beginRefresh(); }

    // Throws when there is no record set yet.
    DataRecordset& Recordset() { return view_->recordsetProxy(); }
    std::shared_ptr<engine::Database> database() const { return view_->database(); }
    bool recordsetReadOnly() const { return view_->recordsetReadOnly(); }
    void lockRecordset() { view_->lockRecordset(); }
    void followLoading(bool soon = false) { view_->followLoading(soon); }

    quint64 generation() const { return view_->generation(); }
    void whenCounted(QObject* context, std::function<void()> then,
                     std::function<void()> superseded = {}, View::Failed failed = {}) {
        view_->whenCounted(context, std::move(then), std::move(superseded), std::move(failed));
    }
    void whenKeysComplete(QObject* context, std::function<void()> then,
                          std::function<void()> superseded = {}, View::Failed failed = {}) {
        view_->whenKeysComplete(context, std::move(then), std::move(superseded),
                                std::move(failed));
    }
    static void setAnswerBudget(int milliseconds) { View::setAnswerBudget(milliseconds); }
    static int answerBudget() { return View::answerBudget(); }

signals:
    // A move of the navigation bar failed (the engine's description): the
    // window shows it. Everything else the control's users hear comes from
    // its view().
    void commandFailed(const QString& description);

private:
    void navigate(int which);

    View* view_;
    QLabel* caption_;
};
