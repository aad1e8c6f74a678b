#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class CurlEventDriver;
class QSaveFile;
typedef void CURL;

// An FTP client component on libcurl, driven by the Qt event loop on the
// thread that owns it. Server, account and port take effect at the next
// Connect (a server written "host:port" names its own port), the others at
// the next transfer:
//   Port         the control port (21);
//   Timeout      seconds allowed for connecting, for each server reply and
//                for a transfer that stops moving (255);
//   TransferMode 0 passive, 1 active data connections;
//   FileType     1 ASCII, 2 binary (image) transfers.
// Outcomes arrive as events: Connected, Disconnected, TransferProgress,
// FTPError (a number and a description a user can act on, such as
// "530 -- Login incorrect.") and FTPEvent (what happened, for the log).
// A download is written to a temporary file beside its target and renamed
// into place only when it is complete; an earlier file of that name stays
// untouched until then.
class FtpClient : public QObject {
    Q_OBJECT
public:
    explicit FtpClient(QObject* parent = nullptr);
    ~FtpClient() override;

    QString Server, UserName, Password;
    int Port = 21;
    int Timeout = 255;
    int TransferMode = 0;
    int FileType = 2;

    // Starts logging on; Connected follows. Throws FtpError for settings it
    // cannot use.
    bool Connect();
    // Lists the remote directory: the names matching the pattern ("*.*"
    // for all) go into Files. The listing the logon brought is used at once
    // (true); otherwise one is started (false) and ListReady follows.
    bool List(const QString& pattern);
    QStringList Files;
    // Starts downloading a remote file; TransferProgress follows.
    bool Download(const QString& localPath, const QString& remoteName);
    // Stops a running transfer at once.
    void Abort();
    bool Disconnect();

    bool isConnected() const { return connected_; }
    bool isTransferring() const { return transfer_ != nullptr; }

signals:
    void ListReady(bool ok); // a started listing is in Files (ok) or failed
    void Connected();
    void Disconnected();
    void TransferProgress(qint64 bytes, qint64 total);
    void FTPError(int number, const QString& description);
    void FTPEvent(int number, const QString& description);
    void transferFinished(); // after any end of a transfer, for waiting callers

private:
    struct Transfer;
    enum class Kind { Logon, List, Download };

    CURL* newHandle(const QString& path, Kind kind);
    void start(std::unique_ptr<Transfer> t);
    void finished(CURL* easy, int result);
    void endTransfer(bool complete);
    void reportFailure(const Transfer& t, int curlResult);
    QString url(const QString& path) const;
    bool parseListing(const QByteArray& listing, const QString& pattern);
    static size_t onData(char* data, size_t size, size_t n, void* t);
    static int onProgress(void* t, qint64 dltotal, qint64 dlnow, qint64, qint64);

    std::unique_ptr<CurlEventDriver> driver_;
    std::unique_ptr<Transfer> transfer_;
    std::function<void(bool, const QByteArray&)> listWaiter_;
    std::optional<std::pair<bool, QByteArray>> freshListing_; // from the logon, not yet asked for
    bool connected_ = false;
    bool aborting_ = false;
    // Settings as they were at Connect.
    QString server_, user_, password_;
    int port_ = 21, timeout_ = 255, mode_ = 0, type_ = 2;
};
