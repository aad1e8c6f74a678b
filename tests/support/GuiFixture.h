#pragma once

#include "TestData.h"
#include "app/ImportPreview.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/dialogs/Screen.h"
#include "platform/settings/SettingsStore.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QuarzelDatabase;

// Records the message boxes a command shows, with what the window showed
// at that moment.
struct ShownMessage {
    QString text;
    int style;
    QString title;
    int pointer;
    QString recordSource;
    QString label;
};

class MessageRecorder : public MessageBox::Implementation {
public:
    void show(const QString& text, int style, const QString& title) override;
    bool ask(const QString& text, const QString& title, const QString& yes,
             const QString& no) override;
    std::vector<ShownMessage> shown;
    std::vector<QString> asked;
    bool answer = true; // the answer to every question
    QString press;      // or the button pressed, by its text
    QuarzelDatabase* window = nullptr;
    std::function<void()> whileOpen;
    std::function<void()> onAsk; // called as each question is asked
};

// Answers the import's preview through the message recorder (its text,
// then the question), and may change the mapping once, as a user would in
// the dialog: remap gets the planned mapping and returns true to read again.
class PreviewRecorder : public ImportPreview::Implementation {
public:
    ImportPreview::Answer ask(const ImportPlan& plan, const QString& question,
                              std::vector<int>& mapping) override;
    QString chooseSheet(const QString& file, const QStringList& sheets) override;
    std::function<bool(const ImportPlan& plan, std::vector<int>& mapping)> remap;
    QString sheet;             // the sheet chosen when asked; empty: cancel
    QStringList sheetsOffered; // what was offered
};

class PointerRecorder : public Screen::Implementation {
public:
    void setMousePointer(int pointer) override { history.push_back(pointer); }
    std::vector<int> history;
};

class FakeSettings : public SettingsStore::Implementation {
public:
    QString get(const QString& app, const QString& section, const QString& key,
                const QString& fallback) override;
    QString user, company;
    bool present = false;
    QMap<QString, QString> database; // the [Database] section: none, the file
};

// Chooses a menu item of the window as a user does: nothing happens while
// the item, or the menu bar, is disabled. Items are named as in MainMenu,
// or by their object name (the Tools menu's).
void trigger(QuarzelDatabase& w, const QString& item, int index = -1);

// Runs the window's import or export to its end; whether it was done.
bool importFile(QuarzelDatabase& w, const QString& file);
bool exportTo(QuarzelDatabase& w, const QString& file);

// Whether the grid shows the program's column layout (Rockname 2500 twips
// wide, the analyses as "#0.00") rather than the defaults of a fresh
// record set.
bool gridLaidOut(QuarzelDatabase& w);

// The program's window on a temporary data folder, with every seam
// answered by a recorder.
class GuiFixture {
public:
    explicit GuiFixture(long rows = 120);
    ~GuiFixture();

    // Creates the window (running Form_Load) over the current data files.
    QuarzelDatabase& start();
    QuarzelDatabase& window() { return *window_; }
    void stop() { window_.reset(); }
    TestData& data() { return data_; }

    MessageRecorder messages;
    PreviewRecorder preview;
    PointerRecorder pointer;
    FakeSettings settings;
    static int endCount;
    static const int kProgramBudget; // the answer budget the program runs with

private:
    TestData data_;
    std::unique_ptr<QuarzelDatabase> window_;
};
