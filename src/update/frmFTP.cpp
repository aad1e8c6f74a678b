#include "frmFTP.h"

#include "platform/data/Twips.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/dialogs/WindowPlacement.h"
#include "platform/ftp/FtpClient.h"
#include "platform/ftp/FtpError.h"
#include "platform/program/ProgramInfo.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

// The masked boxes show "*" for each character, whatever the style's own
// mask character is.
static const char* const kAsteriskMask = "lineedit-password-character: 42";

static void initUpdateResources() {
    Q_INIT_RESOURCE(update);
} // pictures in a static library

frmFTP::frmFTP(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    initUpdateResources();
    setObjectName("frmFTP");
    setWindowIcon(QIcon(":/quarzel/program.xpm"));
    resize(Twips::toPixels(5040), Twips::toPixels(5145));

    auto place = [this](QWidget* w, int l, int t, int wd, int h) {
        w->setParent(this);
        w->setGeometry(Twips::rect(l, t, wd, h));
    };
    place(Label1 = new QLabel("FTP Server"), 75, 270, 930, 255);
    place(txtFTPURL = new QLineEdit(kDefaultServer), 1170, 240, 1740, 375);
    place(Label2 = new QLabel("Status"), 840, 2600, 825, 315);
    place(txtUserName = new QLineEdit(kDefaultUser), 1170, 716, 1740, 375);
    txtUserName->setEchoMode(QLineEdit::Password);
    txtUserName->setStyleSheet(kAsteriskMask);
    place(Label3 = new QLabel("UserName"), 75, 750, 1140, 255);
    place(Label4 = new QLabel("Password"), 75, 1275, 1050, 255);
    place(txtPassword = new QLineEdit("shale71"), 1170, 1192, 1755, 375);
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setStyleSheet(kAsteriskMask);
    place(cmdGet[0] = new QPushButton("Get Update"), 3120, 695, 1800, 375);
    place(cmdConnect = new QPushButton("Connect"), 3120, 195, 1800, 375);
    place(Label5 = new QLabel("Filename"), 75, 1800, 1050, 255);
    place(Text1 = new QPlainTextEdit("wrupdate.zip"), 1170, 1710, 3720, 810);
    place(CmdCancel = new QPushButton("Cancel Download"), 3120, 1195, 1800, 375);
    place(txtMessage = new QPlainTextEdit, 45, 2820, 2400, 2190);
    txtMessage->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtMessage->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtMessage->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    place(txtList = new QLabel("Remote Files"), 3180, 2600, 1170, 255);
    place(ListView1 = new QListWidget, 2520, 2805, 2355, 2190);
    ListView1->setIconSize(QSize(13, 13));
    ListView1->setFocusPolicy(Qt::NoFocus);

    QWidget* order[] = {txtFTPURL,  txtUserName, txtPassword, cmdGet[0],
                        cmdConnect, Text1,       CmdCancel,   txtMessage};
    for (int i = 0; i + 1 < 8; ++i)
        setTabOrder(order[i], order[i + 1]);
    connect(cmdConnect, &QPushButton::clicked, this, &frmFTP::cmdConnect_Click);
    connect(cmdGet[0], &QPushButton::clicked, this, [this] { cmdGet_Click(0); });
    connect(CmdCancel, &QPushButton::clicked, this, &frmFTP::CmdCancel_Click);
}

frmFTP::~frmFTP() = default;

void frmFTP::showEvent(QShowEvent* event) {
    if (!loaded_) {
        loaded_ = true;
        Form_Load();
        WindowPlacement::centreOnScreen(this);
    }
    QWidget::showEvent(event);
}

void frmFTP::Form_Load() {
    setWindowTitle("Quarzel Ftp");
    log_.clear();
    txtMessage->clear();
    ListView1->clear();
    oftp = new FtpClient(this);
    connect(oftp, &FtpClient::Connected, this, &frmFTP::oftp_Connected);
    connect(oftp, &FtpClient::ListReady, this, [this](bool ok) {
        if (ok)
            showFiles();
    });
    connect(oftp, &FtpClient::Disconnected, this, &frmFTP::oftp_Disconnected);
    connect(oftp, &FtpClient::TransferProgress, this, &frmFTP::oftp_TransferProgress);
    connect(oftp, &FtpClient::FTPError, this, &frmFTP::oftp_FTPError);
    connect(oftp, &FtpClient::FTPEvent, this, &frmFTP::oftp_FTPEvent);
    LocalUpdateFile = ProgramInfo::fileBeside("stupdate.zip");
    Text1->setPlainText(LocalUpdateFile.toLower());
}

void frmFTP::closeEvent(QCloseEvent* event) {
    int cancel = 0;
    Form_Unload(cancel);
    event->accept(); // the unload is never cancelled
}

void frmFTP::Form_Unload(int&) {
    if (!oftp)
        return;
    oftp->Disconnect();
    delete oftp; // a download still running is dropped with its temporary file
    oftp = nullptr;
    loaded_ = false;
}

void frmFTP::cmdConnect_Click() {
    try {
        oftp->Server = txtFTPURL->text();
        oftp->UserName = txtUserName->text();
        oftp->Password = txtPassword->text();
        oftp->Port = 21;
        oftp->Timeout = 255;
        oftp->TransferMode = 0;
        oftp->FileType = 2;
        oftp->Connect();
    } catch (const FtpError& e) {
        const QString number =
            e.number() >= 0 ? " " + QString::number(e.number()) : QString::number(e.number());
        MessageBox::Show(number + ": " + QString::fromStdString(e.what()), 0,
                         "Error with connect button");
    }
}

void frmFTP::oftp_Connected() {
    ListView1->clear();
    new QListWidgetItem(QIcon(":/quarzel/folder.xpm"), "..", ListView1);
    if (oftp->List("*.*"))
        showFiles();
}

void frmFTP::showFiles() {
    for (const QString& name : oftp->Files)
        new QListWidgetItem(QIcon(":/quarzel/document.xpm"), name, ListView1);
}

void frmFTP::cmdGet_Click(short) {
    AddLogLine("Starting Download...");
    oftp->Download(LocalUpdateFile, "stupdate.zip");
}

void frmFTP::oftp_TransferProgress(qint64 bytes, qint64 total) {
    setWindowTitle("Transferring " + QString::number(bytes) + " of " + QString::number(total));
}

void frmFTP::CmdCancel_Click() {
    oftp->Abort();
    AddLogLine("Download Stopped");
}

void frmFTP::oftp_Disconnected() {
    AddLogLine("Disonnected");
}

void frmFTP::oftp_FTPError(int number, const QString& description) {
    AddLogLine("Error : " + QString::number(number) + " -- " + description);
}

void frmFTP::oftp_FTPEvent(int, const QString& description) {
    AddLogLine("Event : " + description);
}

void frmFTP::DisconnectServer() {
    oftp->Disconnect();
}

void frmFTP::AddLogLine(const QString& text) {
    log_ = text + "\r\n" + log_;
    QString shown = log_;
    txtMessage->setPlainText(shown.remove('\r'));
}
