#include "GuiFixture.h"

#include "app/MainMenu.h"
#include "app/QuarzelDatabase.h"
#include "app/ToolsController.h"
#include "exchange/CsvImport.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/program/ProgramInfo.h"

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>

namespace {

bool runToEnd(QuarzelDatabase& w, const std::function<void()>& start) {
    QSignalSpy done(&w.tools(), &ToolsController::exchangeFinished);
    start();
    if (done.isEmpty())
        done.wait(120000);
    return !done.isEmpty() && done.first().first().toBool();
}

} // namespace

void trigger(QuarzelDatabase& w, const QString& item, int index) {
    QAction* action = nullptr;
    try {
        action = w.menu()->item(item, index);
    } catch (const std::out_of_range&) {
        action = w.findChild<QAction*>(item);
    }
    if (!action)
        throw std::out_of_range("no menu item " + item.toStdString());
    if (w.menuBar()->isEnabled() && action->isEnabled())
        action->trigger();
}

ImportPreview::Answer PreviewRecorder::ask(const ImportPlan& plan, const QString& question,
                                           std::vector<int>& mapping) {
    if (remap) {
        auto once = std::move(remap);
        remap = nullptr;
        mapping.clear();
        for (std::size_t i = 0; i < plan.columns.sources.size(); ++i)
            mapping.push_back(plan.columns.code(i));
        if (once(plan, mapping))
            return ImportPreview::Answer::ReadAgain;
    }
    return MessageBox::Ask(QString::fromStdString(plan.describe()) + "\n" + question, "Import CSV",
                           "Import", "Cancel")
               ? ImportPreview::Answer::Import
               : ImportPreview::Answer::Cancel;
}

QString PreviewRecorder::chooseSheet(const QString&, const QStringList& sheets) {
    sheetsOffered = sheets;
    return sheet;
}

bool importFile(QuarzelDatabase& w, const QString& file) {
    return runToEnd(w, [&] { w.tools().importCsv(file); });
}

bool exportTo(QuarzelDatabase& w, const QString& file) {
    return runToEnd(w, [&] { w.tools().exportView(file); });
}

int GuiFixture::endCount = 0;
const int GuiFixture::kProgramBudget = DataControl::answerBudget();

bool gridLaidOut(QuarzelDatabase& w) {
    DBGrid* g = w.vaSpread1;
    return g->ColumnCount() == 32 && qAbs(g->Columns(0).Width() - 2500) <= 15 &&
           qAbs(g->Columns(2).Width() - 1000) <= 15 && g->Columns(5).NumberFormat() == "#0.00";
}

void MessageRecorder::show(const QString& text, int style, const QString& title) {
    ShownMessage m{text, style, title, Screen::MousePointer(), {}, {}};
    if (window) {
        m.recordSource = window->Data1->RecordSource();
        m.label = window->Label3->text();
    }
    shown.push_back(m);
    if (whileOpen)
        whileOpen();
}

bool MessageRecorder::ask(const QString& text, const QString&, const QString& yes,
                          const QString& no) {
    asked.push_back(text);
    if (onAsk)
        onAsk();
    if (press.isEmpty())
        return answer;
    if (press != yes && press != no)
        QTest::qFail(qPrintable("no button \"" + press + "\""), __FILE__, __LINE__);
    return press == yes;
}

QString FakeSettings::get(const QString& app, const QString& section, const QString& key,
                          const QString& fallback) {
    if (app == "Stonarc" && section == "Database")
        return database.value(key, fallback);
    if (!present || app != "Stonarc" || section != "Options")
        return fallback;
    if (key == "Username")
        return user;
    if (key == "Company")
        return company;
    return fallback;
}

GuiFixture::GuiFixture(long rows) : data_(rows) {
    ProgramInfo::setPath(data_.dir());
    MessageBox::setImplementation(&messages);
    ImportPreview::setImplementation(&preview);
    Screen::setImplementation(&pointer);
    SettingsStore::setImplementation(&settings);
    ProgramInfo::setEndHandler([] { ++GuiFixture::endCount; });
    // Commands wait for the engine's answer as long as it takes, so that a
    // test sees each one finished when its handler returns; the tests of
    // commands that finish later set a budget of their own.
    DataControl::setAnswerBudget(600000);
}

GuiFixture::~GuiFixture() {
    window_.reset();
    MessageBox::setImplementation(nullptr);
    ImportPreview::setImplementation(nullptr);
    Screen::setImplementation(nullptr);
    SettingsStore::setImplementation(nullptr);
    ProgramInfo::setEndHandler(nullptr);
    ProgramInfo::setPath(QString());
    DataControl::setAnswerBudget(kProgramBudget);
}

QuarzelDatabase& GuiFixture::start() {
    window_ = std::make_unique<QuarzelDatabase>();
    messages.window = window_.get();
    return *window_;
}
