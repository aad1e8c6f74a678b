#include "CommandView.h"

#include "platform/db/EngineError.h"

#include <limits>

CommandView::CommandView(std::shared_ptr<engine::Database> db, const std::string& statement) {
    // About 24 days: no command waits that long for an answer.
    View::setAnswerBudget(std::numeric_limits<int>::max());
    view_.useDatabase(std::move(db));
    view_.setReadOnly(true);
    view_.setRecordSource(QString::fromStdString(statement));
    view_.refresh();
    // Answered here, within the budget; a reading that failed is thrown
    // by snapshot() in the engine's words.
    bool done = false;
    view_.whenKeysComplete(&view_, [&done] { done = true; });
    if (!done)
        throw engine::EngineError(engine::err::Internal, "The statement's rows were not read.");
}

ViewSnapshot CommandView::snapshot() const {
    // Throws when the keys could not be read.
    std::optional<ViewSnapshot> taken = view_.snapshot();
    if (!taken)
        throw engine::EngineError(engine::err::Internal, "The statement's rows were not read.");
    return std::move(*taken);
}
