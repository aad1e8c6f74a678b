#include "frmAbout.h"

#include "form/Globals.h"
#include "platform/data/Twips.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/dialogs/WindowPlacement.h"
#include "platform/program/ProgramInfo.h"
#include "platform/registry/Registry.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QPushButton>

static void initAboutResources() {
    Q_INIT_RESOURCE(about);
} // the logo lives in a static library

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    initAboutResources();
    setObjectName("frmAbout");
    setWindowTitle("About Geochemical Database");
    setWindowIcon(QIcon(":/quarzel/program.xpm"));
    setFixedSize(Twips::toPixels(5865), Twips::toPixels(3630));
    setModal(false);

    picIcon = new QLabel(this);
    picIcon->setGeometry(Twips::rect(240, 135, 1245, 1335));
    picIcon->setPixmap(QPixmap(":/quarzel/logo.xpm"));
    picIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picIcon->setAutoFillBackground(true);
    QPalette grey = picIcon->palette();
    grey.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    picIcon->setPalette(grey);

    auto label = [this](int l, int t, int w, int h) {
        auto* x = new QLabel(this);
        x->setGeometry(Twips::rect(l, t, w, h));
        x->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        x->setWordWrap(true);
        QPalette p = x->palette();
        p.setColor(QPalette::WindowText, Qt::black);
        x->setPalette(p);
        return x;
    };
    lblTitle = label(1665, 105, 4095, 1605);
    lblDescription = label(1665, 1815, 4095, 510);
    lblDisclaimer = label(255, 2625, 3870, 825);

    cmdOK = new QPushButton("OK", this);
    cmdOK->setGeometry(Twips::rect(4245, 2625, 1467, 345));
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton("&System Info...", this);
    cmdSysInfo->setGeometry(Twips::rect(4260, 3075, 1452, 345));
    cmdSysInfo->setAutoDefault(false);
    setTabOrder(cmdOK, cmdSysInfo);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
}

QString frmAbout::caption(const QLabel* label) {
    return label->property("Caption").toString();
}

void frmAbout::setCaption(QLabel* label, const QString& text) {
    label->setProperty("Caption", text);
    QString shown = text;
    label->setText(shown.replace('\r', '\n'));
}

void frmAbout::showEvent(QShowEvent* event) {
    if (!loaded_) {
        loaded_ = true;
        Form_Load();
        WindowPlacement::centreOnScreen(this);
    }
    QDialog::showEvent(event);
}

void frmAbout::Form_Load() {
    const QString cr = "\r";
    setCaption(lblTitle, "Geochemical Database V" + QString::number(ProgramInfo::Major()) + "." +
                             QString::number(ProgramInfo::Minor()) + cr +
                             "Revision: " + QString::number(ProgramInfo::Revision()) + cr +
                             ProgramInfo::LegalCopyright() + cr + "email: " + kSupportMail + cr +
                             "www: " + kWebAddress);
    setCaption(lblDescription, "User: " + UserName + " " + CompanyName);
}

void frmAbout::cmdOK_Click() {
    loaded_ = false; // the next show loads the window again
    hide();
}

void frmAbout::reject() {
    cmdOK_Click();
}

void frmAbout::cmdSysInfo_Click() {
    StartSysInfo();
}

void frmAbout::StartSysInfo() {
    const QString key1 = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
    const QString key2 = "SOFTWARE\\Microsoft\\Shared Tools Location";
    QString path;
    bool found = GetKeyValue(Registry::HKEY_LOCAL_MACHINE, key1, "PATH", path);
    if (!found) {
        if (GetKeyValue(Registry::HKEY_LOCAL_MACHINE, key2, "MSINFO", path)) {
            const QString exe = path + "/MSINFO32.EXE";
            if (QFileInfo(exe).isFile()) {
                path = exe;
                found = true;
            }
        }
    }
    // A program that cannot be started ends here too.
    if (found && !path.isEmpty() && QProcess::startDetached(path, {}))
        return;
    MessageBox::Show("System Information Is Unavailable At This Time", 0);
}

bool frmAbout::GetKeyValue(quintptr KeyRoot, const QString& KeyName, const QString& SubKeyRef,
                           QString& KeyVal) {
    Registry::HKEY hKey = 0;
    bool result = false;
    if (Registry::RegOpenKeyExA(KeyRoot, KeyName, 0, 0x2003F, &hKey) != Registry::ERROR_SUCCESS) {
        KeyVal.clear();
    } else {
        QByteArray buffer(1024, '\0');
        long size = 1024;
        int type = 0;
        if (Registry::RegQueryValueExA(hKey, SubKeyRef, &type, buffer, &size) !=
            Registry::ERROR_SUCCESS) {
            KeyVal.clear();
        } else {
            const QByteArray data = buffer.left(size);
            const qsizetype nul = buffer.indexOf('\0');
            const QByteArray cut = buffer.left(nul < 0 ? buffer.size() : nul);
            if (type == Registry::REG_SZ) {
                KeyVal = QString::fromLocal8Bit(cut);
            } else if (type == Registry::REG_DWORD) {
                // A 32-bit number is shown as its decimal value.
                quint32 v = 0;
                for (int i = 0; i < 4 && i < data.size(); ++i)
                    v |= static_cast<quint32>(static_cast<uchar>(data[i])) << (8 * i);
                KeyVal = QString::number(v);
            }
            result = true;
        }
    }
    Registry::RegCloseKey(hKey);
    return result;
}

void frmAbout::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    // Two lines 15 twips apart draw an etched rule above the buttons.
    QPainter p(this);
    p.setPen(QPen(QColor(0x80, 0x80, 0x80), 1));
    p.drawLine(Twips::toPixels(225), Twips::toPixels(2430), Twips::toPixels(5657),
               Twips::toPixels(2430));
    p.setPen(QPen(QColor(0xFF, 0xFF, 0xFF), 2));
    p.drawLine(Twips::toPixels(240), Twips::toPixels(2445), Twips::toPixels(5657),
               Twips::toPixels(2445));
}
