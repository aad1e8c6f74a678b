#pragma once

#include <QWidget>

class FtpClient;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

// The update window: connects to the maker's FTP server, lists its files
// and downloads "stupdate.zip" into the program's folder, with progress in
// the caption and a log, newest first. Closing it unloads it; showing it
// again loads it afresh.
class frmFTP : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kDefaultServer = "ftp.quarzel-geochem.example";
    static constexpr const char* kDefaultUser = "updates@quarzel-geochem.example";

    explicit frmFTP(QWidget* parent = nullptr);
    ~frmFTP() override;

    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *txtList;
    QLineEdit *txtFTPURL, *txtUserName, *txtPassword;
    QPushButton *cmdConnect, *CmdCancel;
    QPushButton* cmdGet[1];
    QPlainTextEdit* Text1;
    QPlainTextEdit* txtMessage;
    QListWidget* ListView1;

    FtpClient* oftp = nullptr;
    QString LocalUpdateFile;

    // The log as its text box holds it: entries joined by "\r\n", newest first.
    QString messageText() const { return log_; }

    void Form_Load();
    void Form_Unload(int& cancel);
    void cmdConnect_Click();
    void cmdGet_Click(short Index);
    void CmdCancel_Click();
    void DisconnectServer();
    void AddLogLine(const QString& text);

    void oftp_Connected();
    void showFiles();
    void oftp_Disconnected();
    void oftp_TransferProgress(qint64 bytes, qint64 total);
    void oftp_FTPError(int number, const QString& description);
    void oftp_FTPEvent(int number, const QString& description);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool loaded_ = false;
    QString log_;
};
