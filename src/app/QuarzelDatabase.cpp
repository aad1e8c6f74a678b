#include "QuarzelDatabase.h"

#include "FileCheckController.h"
#include "MainMenu.h"
#include "ServerLogOn.h"
#include "ToolsController.h"
#include "about/AboutController.h"
#include "edit/EditController.h"
#include "form/Globals.h"
#include "platform/clipboard/Clipboard.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/data/RecordsetModel.h"
#include "platform/data/Twips.h"
#include "platform/db/DBEngine.h"
#include "platform/db/Database.h"
#include "platform/dialogs/BackgroundTask.h"
#include "platform/dialogs/Guarded.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/dialogs/Screen.h"
#include "platform/dialogs/WindowPlacement.h"
#include "platform/help/HtmlHelp.h"
#include "platform/program/ProgramInfo.h"
#include "platform/settings/DatabaseSetting.h"
#include "platform/settings/SettingsStore.h"
#include "print/PrintController.h"
#include "query/SearchStatement.h"
#include "query/SelectionController.h"
#include "schema/Column.h"
#include "update/UpdateController.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

#include <limits>
#include <stdexcept>

static void initProgramResources() {
    Q_INIT_RESOURCE(program);
} // the icon lives in a static library

QuarzelDatabase::QuarzelDatabase(QWidget* parent) : QMainWindow(parent) {
    initProgramResources();
    setObjectName("QuarzelDatabase");
    setWindowTitle("Geochemical Database");
    setWindowIcon(QIcon(":/quarzel/program.xpm"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    buildControls();
    menu_ = std::make_unique<MainMenu>(menuBar());
    connect(menu_->item("mnuExit"), &QAction::triggered, this,
            guarded([this] { mnuExit_Click(); }));
    selection_ = std::make_unique<SelectionController>(*this);
    editing_ = std::make_unique<EditController>(*this);
    printing_ = std::make_unique<PrintController>(*this);
    about_ = std::make_unique<AboutController>(*this);
    updates_ = std::make_unique<UpdateController>();
    tools_ = std::make_unique<ToolsController>(*this, menuBar());
    // The window is the menu bar over the client area, and cannot be
    // resized; fixed only now that the menu bar is there.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    layout()->activate();
    // The menu's shortcut keys win over the text boxes' and the grid's own
    // use of the same keys (Ctrl+A opens the About window, even in a box).
    for (QWidget* w :
         std::initializer_list<QWidget*>{Text1[0], Text1[1], Combo1->lineEdit(), vaSpread1})
        w->installEventFilter(this);
    Form_Load();
}

QuarzelDatabase::~QuarzelDatabase() {
    // The windows without an owner end with the program, before the
    // controls they follow.
    updates_.reset();
    about_.reset();
    tools_.reset();
}

void QuarzelDatabase::buildControls() {
    auto* client = new QWidget(this);
    client->setFixedSize(Twips::toPixels(8940), Twips::toPixels(5940));
    setCentralWidget(client);

    Frame1 = new QGroupBox("Quarzel Geochemical Database", client);
    Frame1->setObjectName("Frame1");
    Frame1->setGeometry(Twips::rect(120, 90, 8655, 5715));
    QFont frameFont("Arial");
    frameFont.setPointSizeF(14.25);
    frameFont.setItalic(true);
    Frame1->setFont(frameFont);

    // Only the frame's caption is large and italic. Every attribute of the
    // controls' font is set, so that none is inherited from the frame.
    QFont controlFont("MS Sans Serif");
    controlFont.setPointSizeF(8.25);
    controlFont.setItalic(false);
    controlFont.setWeight(QFont::Normal);
    controlFont.setUnderline(false);
    controlFont.setStrikeOut(false);
    auto place = [&](QWidget* w, const char* name, int l, int t, int wd, int h) {
        w->setParent(Frame1);
        w->setObjectName(name);
        w->setFont(controlFont);
        w->setGeometry(Twips::rect(l, t, wd, h));
    };

    vaSpread1 = new DBGrid;
    place(vaSpread1, "vaSpread1", 120, 360, 8415, 3255);
    vaSpread1->setHeadFont(controlFont);
    vaSpread1->setFocusPolicy(Qt::ClickFocus);

    Label1 = new QLabel("Search For:");
    place(Label1, "Label1", 1980, 3765, 1125, 255);
    Text1[0] = new QLineEdit;
    place(Text1[0], "Text1(0)", 3300, 3750, 2175, 285);
    Label2[1] = new QLabel("In:");
    place(Label2[1], "Label2(1)", 5580, 3765, 375, 255);
    Combo1 = new QComboBox;
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    // Typed text stands as typed: no completion, no case correction.
    Combo1->setCompleter(nullptr);
    Combo1->setEditText("Combo1");
    place(Combo1, "Combo1", 6060, 3750, 1335, 315);
    Label2[0] = new QLabel("And:");
    place(Label2[0], "Label2(0)", 2580, 4245, 495, 255);
    Text1[1] = new QLineEdit;
    place(Text1[1], "Text1(1)", 3300, 4230, 2175, 285);
    Command1[0] = new QPushButton("Find");
    place(Command1[0], "Command1(0)", 5580, 4245, 735, 255);
    Label3 = new QLabel("Label3");
    place(Label3, "Label3", 3540, 4710, 1695, 255);
    Command1[1] = new QPushButton("Refresh");
    place(Command1[1], "Command1(1)", 3945, 5160, 975, 375);
    Data1 = new DataControl;
    place(Data1, "Data1", 375, 5205, 2085, 345);
    Data1->setCaption("Geochem");
    Data1->setRecordSource("DOZIRO1");
    vaSpread1->setDataSource(Data1);

    for (QLabel* l : {Label1, Label2[0], Label2[1], Label3})
        l->setFocusPolicy(Qt::NoFocus);
    QWidget::setTabOrder(Text1[0], Text1[1]);
    QWidget::setTabOrder(Text1[1], Combo1);
    QWidget::setTabOrder(Combo1, Command1[0]);
    QWidget::setTabOrder(Command1[0], Command1[1]);
    for (short i = 0; i < 2; ++i)
        Command1[i]->setAutoDefault(false);
    connect(vaSpread1, &DBGrid::writeFailed, this,
            [](const QString& text) { MessageBox::Show(text, 48, "DataBase Error"); });
    connect(vaSpread1, &DBGrid::readFailed, this,
            [](const QString& text) { MessageBox::Show(text, 48, "DataBase Error"); });
    connect(Data1, &DataControl::commandFailed, this,
            [](const QString& text) { MessageBox::Show(text, 48, "DataBase Error"); });
    // On a shared server: a save that meets another user's change asks
    // whose values stay; rows others add or delete change the count.
    vaSpread1->recordsetModel()->setConflictQuestion([](const QString& text) {
        return MessageBox::Ask(text + "\n\nKeep your values, saving them over the other user's?",
                               "Row Changed by Another User", "Keep Mine", "Take Theirs");
    });
    for (auto signal : {&View::rowInsertedElsewhere, &View::rowRemovedElsewhere})
        connect(Data1->view(), signal, this, [this] {
            if (!busy_)
                updateCountLabel();
        });
    connect(Data1->view(), &View::rowsMovedElsewhere, this, [this] {
        if (!busy_)
            updateCountLabel();
    });
    connect(vaSpread1, &DBGrid::editorCreated, this,
            [this](QWidget* editor) { editor->installEventFilter(this); });
    // A pasted term is taken whole, never cut at the box's default limit;
    // a term too long for a statement is refused by the engine, with a message.
    for (QLineEdit* box : Text1)
        box->setMaxLength(std::numeric_limits<int>::max());
}

QAction* QuarzelDatabase::menuItem(const QString& name, int index) const {
    return menu_->item(name, index);
}

void QuarzelDatabase::Form_Load() {
    try {
        ActiveDatabase = "Doziro";
        UserName = SettingsStore::GetSetting("Stonarc", "Options", "Username", "");
        CompanyName = SettingsStore::GetSetting("Stonarc", "Options", "Company", "");
        for (schema::Column c : SearchStatement::kColumns)
            Combo1->addItem(schema::columnName(c));
        Combo1->setEditText(schema::columnName(schema::Column::Rockname));
        Combo1->setCurrentIndex(
            schema::positionIn(SearchStatement::kColumns, schema::Column::Rockname));
        ProgramInfo::prepareDataFolder();
        DatabasePath = ProgramInfo::fileBeside("quarzdb32.mdb");
        auto& engine = engine::DBEngine::instance();
        engine.SystemDB = ProgramInfo::fileBeside("tarnvel.mdw").toStdString();
        engine.DefaultUser = "quarzel";
        engine.DefaultPassword = "ridge38uk";
        // A collection shared on a server, when the settings name one: the
        // user logs on with an account of the server's own.
        const DatabaseSetting shared = DatabaseSetting::read("Stonarc");
        if (!shared.error.isEmpty())
            throw std::runtime_error(shared.error.toStdString());
        if (shared.onServer) {
            DatabasePath = shared.openName;
            ServerLogOn::logOn(shared, this);
        } else {
            engine.Workspaces(0).OpenDatabase(DatabasePath.toStdString()); // released at once
        }
        Data1->setDatabaseName(DatabasePath);
        Data1->setRecordSource("SELECT * From [DOZIRO1]Order By [Rockname] ASC");
        Data1->setReadOnly(true);
        Data1->beginRefresh();
        beginCommand();
        countAndRewind(
            [this] {
                ApplyGridLayout(true);
                endCommand();
                // Once the keys are read, so that the check never shares the
                // start's reads; it says nothing unless it finds damage.
                const auto check = [this] { tools_->fileCheck()->checkQuietly(); };
                Data1->whenKeysComplete(this, check, check);
            },
            [this](const QString& text) { startFailed(text); });
    } catch (const std::exception& e) {
        startFailed(QString::fromStdString(e.what()));
    }
}

void QuarzelDatabase::startFailed(const QString& text) {
    MessageBox::Show(text, 48, "DataBase Error");
    Screen::setMousePointer(0);
    endCommand();
}

void QuarzelDatabase::Form_QueryUnload(int& cancel, int unloadMode) {
    (void)unloadMode;
    HtmlHelp::HtmlHelpA(this, QString(), HtmlHelp::HH_CLOSE_ALL, 0);
    try {
        Data1->Refresh(); // also writes back an edit still pending in the grid
    } catch (const std::exception&) {
        // Nothing to be done about a failed refresh while closing.
    }
    // An edit the server could not take is not thrown away unasked: it is
    // on the clipboard, and the user may keep the window to save it later.
    const QString kept = vaSpread1->recordsetModel()->pendingText();
    if (!kept.isEmpty()) {
        Clipboard::SetText(kept);
        if (!MessageBox::Ask("Your change could not be saved: the server cannot be reached. It "
                             "is on the clipboard:\n\n" +
                                 kept + "\n\nClose the program anyway?",
                             "Change Not Saved", "Close Anyway", "Keep Open"))
            cancel = 1;
    }
}

void QuarzelDatabase::Form_Unload(int& cancel) {
    (void)cancel;
    ProgramInfo::End();
}

void QuarzelDatabase::mnuExit_Click() {
    close();
}

bool QuarzelDatabase::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QKeySequence pressed(key->keyCombination());
        for (QAction* a : findChildren<QAction*>()) {
            if (!a->shortcut().isEmpty() && a->shortcut() == pressed)
                return true; // not taken by the widget: the menu's shortcut runs
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void QuarzelDatabase::closeEvent(QCloseEvent* event) {
    // A command waiting for the engine ends first; nothing is destroyed
    // under it. The close is carried out when it has.
    if (busy_) {
        closing_ = true;
        event->ignore();
        return;
    }
    // Work under way (an import, an export) is cancelled first; the close
    // is taken once it has stopped: the table as it was, no partial file.
    if (BackgroundTask::running()) {
        closing_ = true;
        BackgroundTask::cancelAll();
        event->ignore();
        BackgroundTask::whenIdle(this, [this] { close(); });
        return;
    }
    closing_ = false; // nothing waits any more: the close is carried out now
    int cancel = 0;
    Form_QueryUnload(cancel, 0);
    if (cancel) {
        event->ignore();
        return;
    }
    event->accept();
    Form_Unload(cancel);
}

void QuarzelDatabase::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (centred_)
        return;
    centred_ = true;
    WindowPlacement::centreOnScreen(this);
}
