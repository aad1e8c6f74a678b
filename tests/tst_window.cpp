// The main window as its user meets it: geometry, fonts, the menu tree and
// the keys, read from the real window and compared with values written out
// here, never with the program's own tables.
#include "about/AboutController.h"
#include "about/frmAbout.h"
#include "app/MainMenu.h"
#include "app/QuarzelDatabase.h"
#include "form/Globals.h"
#include "platform/data/DBGrid.h"
#include "platform/data/DataControl.h"
#include "platform/data/GridHeader.h"
#include "platform/data/Twips.h"
#include "platform/settings/SettingsStore.h"
#include "support/GuiFixture.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

namespace {

const QString kWhole = "SELECT * From [DOZIRO1]Order By [Rockname] ASC";

// One line per menu item, as the user reads it: indentation for the level,
// "-" for a separator, then the caption, shortcut and state.
const QStringList kMenuTree = {
    "&File",
    "  &Print Current Row... [Ctrl+O]",
    "  -",
    "  &Exit [Ctrl+E]",
    "&Edit",
    "  &Copy",
    "  -",
    "  &Edit Database",
    "    &Enable",
    "    &Disable (checked)",
    "    &New Record (disabled)",
    "    &Delete Record (disabled)",
    "  -",
    "  &Active Database",
    "    &Geochem (checked)",
    "    Project&1",
    "    Project&2",
    "    Project&3",
    "  -",
    "  Sort &Ascending",
    "    &Rockname [Ctrl+R]",
    "    &Geologist [Ctrl+G]",
    "    &Date [Ctrl+D]",
    "    &Location [Ctrl+L]",
    "    &Sample # [Ctrl+S]",
    "  Sort &Descending",
    "    &Rockname [Ctrl+F1]",
    "    &Geologist [Ctrl+F2]",
    "    &Date [Ctrl+F3]",
    "    &Location [Ctrl+F4]",
    "    &Sample # [Ctrl+F5]",
    "&Tools",
    "  &TAS Diagram... [Ctrl+T]",
    "  &Diagrams...",
    "  &Norm...",
    "  &Columns...",
    "  Find by &Value...",
    "  Sort by Va&lue...",
    "  &History...",
    "  &Map...",
    "  -",
    "  &Import CSV...",
    "  &Export View...",
    "  -",
    "  Check the &File...",
    "&Help",
    "  Contents...",
    "  -",
    "  &Internet Home",
    "  -",
    "  &About... [Ctrl+A]",
};

void readMenu(const QList<QAction*>& actions, int level, QStringList& out) {
    for (QAction* a : actions) {
        QString line = QString(level * 2, ' ');
        if (a->isSeparator()) {
            out << line + "-";
            continue;
        }
        line += a->text();
        if (!a->shortcut().isEmpty())
            line += " [" + a->shortcut().toString() + "]";
        if (a->isChecked())
            line += " (checked)";
        if (!a->isEnabled())
            line += " (disabled)";
        out << line;
        if (a->menu())
            readMenu(a->menu()->actions(), level + 1, out);
    }
}

void expectControlFont(const QWidget* w) {
    const QFont f = w->font();
    QVERIFY2(f.family() == "MS Sans Serif", qPrintable(w->objectName() + " " + f.family()));
    QCOMPARE(f.pointSizeF(), 8.25);
    QVERIFY2(!f.italic(), qPrintable(w->objectName()));
    QCOMPARE(f.weight(), QFont::Normal);
}

// The shortcut is pressed on whatever has the keyboard focus.
void press(QWidget* target, Qt::Key key) {
    QTest::keyClick(target, key, Qt::ControlModifier);
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void geometryAndFonts() {
        GuiFixture f(20);
        auto& w = f.start();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        // The client area, 8940 x 5940 twips, lies whole below the menu bar.
        const QSize client(Twips::toPixels(8940), Twips::toPixels(5940));
        QCOMPARE(client, QSize(596, 396));
        QCOMPARE(w.centralWidget()->size(), client);
        QCOMPARE(w.centralWidget()->y(), w.menuBar()->height());
        QCOMPARE(w.size(), QSize(596, w.menuBar()->height() + 396));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
        const QRect frameInWindow(w.Frame1->mapTo(&w, QPoint(0, 0)), w.Frame1->size());
        QVERIFY2(w.rect().contains(frameInWindow), "the frame is cut off");
        QCOMPARE(w.Frame1->geometry(), QRect(8, 6, 577, 381));
        // Centred on the screen.
        const QPoint centre = w.screen()->availableGeometry().center();
        QVERIFY(qAbs(w.frameGeometry().center().x() - centre.x()) <= 2);
        QVERIFY(qAbs(w.frameGeometry().center().y() - centre.y()) <= 2);

        // Every control where the design puts it, in twips within the frame.
        const struct {
            QWidget* widget;
            int left, top, width, height;
        } controls[] = {
            {w.vaSpread1, 120, 360, 8415, 3255}, {w.Label1, 1980, 3765, 1125, 255},
            {w.Text1[0], 3300, 3750, 2175, 285}, {w.Label2[1], 5580, 3765, 375, 255},
            {w.Combo1, 6060, 3750, 1335, 315},   {w.Label2[0], 2580, 4245, 495, 255},
            {w.Text1[1], 3300, 4230, 2175, 285}, {w.Command1[0], 5580, 4245, 735, 255},
            {w.Label3, 3540, 4710, 1695, 255},   {w.Command1[1], 3945, 5160, 975, 375},
            {w.Data1, 375, 5205, 2085, 345},
        };
        for (const auto& c : controls) {
            QCOMPARE(c.widget->parentWidget(), static_cast<QWidget*>(w.Frame1));
            QCOMPARE(c.widget->geometry(), Twips::rect(c.left, c.top, c.width, c.height));
        }
        QCOMPARE(w.Label1->text(), QString("Search For:"));
        QCOMPARE(w.Label2[0]->text(), QString("And:"));
        QCOMPARE(w.Label2[1]->text(), QString("In:"));

        // Only the frame's caption is large and italic.
        QCOMPARE(w.Frame1->font().family(), QString("Arial"));
        QCOMPARE(w.Frame1->font().pointSizeF(), 14.25);
        QVERIFY(w.Frame1->font().italic());
        QCOMPARE(w.Frame1->font().weight(), QFont::Normal);
        for (const auto& c : controls)
            expectControlFont(c.widget);
        expectControlFont(w.vaSpread1->horizontalHeader());
        expectControlFont(w.Combo1->lineEdit());

        // A caption wider than its column ends in an ellipsis, its start kept.
        auto* header = static_cast<GridHeader*>(w.vaSpread1->horizontalHeader());
        const QString shown = header->shownCaption(4);
        QVERIFY2(shown.startsWith("Doziro") && shown.endsWith(QChar(0x2026)), qPrintable(shown));
        QCOMPARE(header->shownCaption(0), QString("Rockname"));
    }

    void menuTreeAsWritten() {
        GuiFixture f(20);
        auto& w = f.start();
        QStringList tree;
        readMenu(w.menuBar()->actions(), 0, tree);
        QCOMPARE(tree.size(), kMenuTree.size());
        for (int i = 0; i < tree.size(); ++i)
            QCOMPARE(tree[i], kMenuTree[i]);
    }

    void keysReachTheMenuFromEveryControl() {
        GuiFixture f(60);
        auto& w = f.start();
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        // From a search box, its text kept.
        w.Text1[0]->setFocus();
        QTest::keyClicks(w.Text1[0], "basalt");
        press(w.Text1[0], Qt::Key_G);
        QCOMPARE(w.Data1->RecordSource(),
                 QString("SELECT * From [DOZIRO1]Order By [Geologist] ASC"));
        QCOMPARE(w.Text1[0]->text(), QString("basalt"));

        // From a cell being edited.
        trigger(w, "mnuEdit2", 0);
        const QModelIndex cell = w.vaSpread1->model()->index(1, 0);
        w.vaSpread1->setFocus();
        w.vaSpread1->setCurrentIndex(cell);
        w.vaSpread1->edit(cell);
        QWidget* editor = QApplication::focusWidget();
        QVERIFY(editor && editor != w.vaSpread1 && w.vaSpread1->isAncestorOf(editor));
        const std::pair<Qt::Key, QString> sorts[] = {
            {Qt::Key_D, "[Date] ASC"},
            {Qt::Key_L, "[Location] ASC"},
            {Qt::Key_F2, "[Geologist] DESC"},
            {Qt::Key_F4, "[Location] DESC"},
        };
        for (const auto& [key, order] : sorts) {
            w.vaSpread1->edit(w.vaSpread1->currentIndex());
            editor = QApplication::focusWidget();
            press(editor, key);
            QCOMPARE(w.Data1->RecordSource(), "SELECT * From [DOZIRO1]Order By " + order);
        }
        w.vaSpread1->edit(w.vaSpread1->currentIndex());
        press(QApplication::focusWidget(), Qt::Key_A);
        QVERIFY(w.about().aboutWindow() && w.about().aboutWindow()->isVisible());
        w.about().aboutWindow()->hide();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.vaSpread1->setFocus();
        w.vaSpread1->edit(w.vaSpread1->currentIndex());
        const int ends = GuiFixture::endCount;
        press(QApplication::focusWidget(), Qt::Key_E);
        QCOMPARE(GuiFixture::endCount, ends + 1);
    }

    void tabLeavesTheGrid() {
        GuiFixture f(20);
        auto& w = f.start();
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.vaSpread1->setFocus();
        w.vaSpread1->setCurrentIndex(w.vaSpread1->model()->index(2, 0));
        QTest::keyClick(w.vaSpread1, Qt::Key_Tab);
        QVERIFY(!w.vaSpread1->hasFocus());
        QCOMPARE(w.vaSpread1->currentIndex().column(), 0); // the cell did not move
        // The tab order over the controls that take the focus.
        const QList<QWidget*> order = {w.Text1[0], w.Text1[1], w.Combo1, w.Command1[0],
                                       w.Command1[1]};
        w.Text1[0]->setFocus();
        for (int i = 1; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY2(order[i]->hasFocus() || order[i]->isAncestorOf(QApplication::focusWidget()),
                     qPrintable(QString::number(i)));
        }
    }

    void fieldChooserTakesTypedTextAsTyped() {
        GuiFixture f(60);
        auto& w = f.start();
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QLineEdit* typed = w.Combo1->lineEdit();
        for (const char* text : {"rockname", "loc"}) {
            typed->selectAll();
            QTest::keyClick(typed, Qt::Key_Delete);
            QTest::keyClicks(typed, text);
            QTest::keyClick(typed, Qt::Key_Return);
            QCOMPARE(w.Combo1->currentText(), QString(text));
            w.Text1[0]->setText("basalt");
            QTest::mouseClick(w.Command1[0], Qt::LeftButton);
            // Not one of the six names: no statement, the view stays.
            QCOMPARE(w.Data1->RecordSource(), kWhole);
            QCOMPARE(w.Combo1->currentText(), QString(text));
        }
        // A pasted term longer than any box's default limit is taken whole.
        const QString longTerm(100000, 'x');
        w.Text1[0]->clear();
        w.Text1[0]->insert(longTerm);
        QCOMPARE(w.Text1[0]->text().size(), 100000);
    }

    void settingsFileOnDisk() {
        QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        QFile ini(home.path() + "/Stonarc.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("; written by hand\n[Other]\nUsername=Wrong\n\n[Options]\n"
                  "Username = Ann; Bob \"the\" = Björk\nCompany=Ridge Survey, Inc.\n");
        ini.close();
        GuiFixture f(10);
        SettingsStore::setImplementation(nullptr); // the real file
        f.start();
        QCOMPARE(UserName, QString::fromUtf8("Ann; Bob \"the\" = Björk"));
        QCOMPARE(CompanyName, QString("Ridge Survey, Inc."));
        // No file: both values are empty.
        QFile::remove(home.path() + "/Stonarc.ini");
        f.start();
        QCOMPARE(UserName, QString());
        QCOMPARE(CompanyName, QString());
        qunsetenv("XDG_CONFIG_HOME");
    }

    void failedRefreshLeavesNoWritableGridUnderDisable() {
        GuiFixture f(30);
        auto& w = f.start();
        trigger(w, "mnuEdit2", 0);
        QVERIFY(!w.Data1->recordsetReadOnly());
        f.data().rawExec("DROP TABLE DOZIRO1");
        auto state = [&] {
            const MainMenu& m = *w.menu();
            return QStringList{m.item("mnuEdit2", 0)->isChecked() ? "enable" : "",
                               m.item("mnuEdit2", 1)->isChecked() ? "disable" : "",
                               m.item("mnuRecord", 0)->isEnabled() ? "new" : "",
                               m.item("mnuRecord", 1)->isEnabled() ? "delete" : "",
                               w.Data1->recordsetReadOnly() ? "read-only" : "writable"};
        };
        trigger(w, "mnuEdit2", 1);
        QCOMPARE(f.messages.shown.size(), size_t(1));
        QCOMPARE(f.messages.shown[0].title, QString("DataBase Error"));
        QCOMPARE(state(), QStringList({"", "disable", "", "", "read-only"}));
        QCOMPARE(w.vaSpread1->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(!w.vaSpread1->model()->setData(w.vaSpread1->model()->index(0, 0), "Changed"));
        // Enable fails too: the window stays in the state it really has.
        trigger(w, "mnuEdit2", 0);
        QCOMPARE(f.messages.shown.size(), size_t(2));
        QCOMPARE(state(), QStringList({"", "disable", "", "", "read-only"}));
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
