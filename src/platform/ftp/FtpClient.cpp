#include "FtpClient.h"

#include <utility>

#include "CurlEventDriver.h"
#include "FtpError.h"

#include <curl/curl.h>

#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cerrno>

struct FtpClient::Transfer {
    FtpClient* owner;
    Kind kind;
    CURL* easy = nullptr;
    QString remote;
    QByteArray listing;
    std::unique_ptr<QSaveFile> file;
    qint64 bytes = 0;
    qint64 total = 0;
    qint64 shownBytes = -1;
    qint64 shownTotal = -1;
    bool ok = false;
    bool diskFull = false;
    char error[CURL_ERROR_SIZE] = {};
};

namespace {

// Whether the last failed write ran out of room (a full disk, a quota, a
// file size limit).
bool outOfRoom() {
    return errno == ENOSPC || errno == EDQUOT || errno == EFBIG;
}

const char* kDiskFull =
    "Cannot write the downloaded file: the disk is full. The earlier update archive is kept.";

const bool curlReady = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
} // namespace

FtpClient::FtpClient(QObject* parent) : QObject(parent) {
    (void)curlReady;
    driver_ =
        std::make_unique<CurlEventDriver>([this](CURL* easy, CURLcode r) { finished(easy, r); });
}

FtpClient::~FtpClient() {
    // A transfer cut short by the end of its owner leaves no partial file.
    if (transfer_) {
        driver_->remove(transfer_->easy);
        if (transfer_->file)
            transfer_->file->cancelWriting();
        curl_easy_cleanup(transfer_->easy);
        transfer_.reset();
    }
}

QString FtpClient::url(const QString& path) const {
    QUrl u;
    u.setScheme("ftp");
    u.setHost(server_);
    u.setPort(port_);
    u.setPath("/" + path);
    return u.toString(QUrl::FullyEncoded);
}

bool FtpClient::Connect() {
    QString server = Server.trimmed();
    int port = Port;
    // "host:port" names a port of its own.
    static const QRegularExpression withPort(R"(^([^:\[\]]+):(\d{1,5})$)");
    if (const auto m = withPort.match(server); m.hasMatch()) {
        server = m.captured(1);
        port = m.captured(2).toInt();
    }
    static const QRegularExpression hostChars(R"(^[A-Za-z0-9.\-]+$)");
    if (server.isEmpty() || !hostChars.match(server).hasMatch())
        throw FtpError(380, "Invalid property value: '" + Server.toStdString() +
                                "' is not a server name.");
    if (port < 1 || port > 65535)
        throw FtpError(380, "Invalid property value: the port must lie between 1 and 65535.");
    if (Timeout < 1)
        throw FtpError(380, "Invalid property value: the time-out must be at least one second.");
    if (transfer_)
        Abort();
    driver_->reset(); // new settings, new connections
    freshListing_.reset();
    server_ = server;
    user_ = UserName;
    password_ = Password;
    port_ = port;
    connected_ = false;
    emit FTPEvent(0, QString("Connecting to %1, port %2").arg(server_).arg(port_));
    auto t = std::make_unique<Transfer>();
    t->kind = Kind::Logon;
    start(std::move(t));
    return true;
}

CURL* FtpClient::newHandle(const QString& path, Kind kind) {
    // The time-out, mode and type apply from the next transfer on.
    timeout_ = std::max(1, Timeout);
    mode_ = TransferMode;
    type_ = FileType;
    CURL* e = curl_easy_init();
    if (!e)
        throw FtpError(7, "Out of memory.");
    curl_easy_setopt(e, CURLOPT_URL, url(path).toUtf8().constData());
    curl_easy_setopt(e, CURLOPT_USERNAME, user_.toUtf8().constData());
    curl_easy_setopt(e, CURLOPT_PASSWORD, password_.toUtf8().constData());
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    // Each transfer logs on over a connection of its own: a control
    // connection taken back from the cache was seen to go unwatched, and the
    // extra logon costs one round trip.
    curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeout_));
    curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(timeout_));
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeout_));
    if (mode_ == 1)
        curl_easy_setopt(e, CURLOPT_FTPPORT, "-");
    if (type_ == 1)
        curl_easy_setopt(e, CURLOPT_TRANSFERTEXT, 1L);
    // Logging on lists the directory too, so that the list asked for right
    // after Connected is already here.
    if (kind == Kind::Logon || kind == Kind::List)
        curl_easy_setopt(e, CURLOPT_DIRLISTONLY, 1L);
    {
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &FtpClient::onData);
        curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &FtpClient::onProgress);
    }
    return e;
}

void FtpClient::start(std::unique_ptr<Transfer> t) {
    t->owner = this;
    t->easy = newHandle(t->kind == Kind::Download ? t->remote : QString(), t->kind);
    curl_easy_setopt(t->easy, CURLOPT_ERRORBUFFER, t->error);
    curl_easy_setopt(t->easy, CURLOPT_PRIVATE, t.get());
    curl_easy_setopt(t->easy, CURLOPT_WRITEDATA, t.get());
    curl_easy_setopt(t->easy, CURLOPT_XFERINFODATA, t.get());
    aborting_ = false;
    transfer_ = std::move(t);
    driver_->add(transfer_->easy);
}

size_t FtpClient::onData(char* data, size_t size, size_t n, void* tp) {
    auto* t = static_cast<Transfer*>(tp);
    const size_t len = size * n;
    if (t->owner->aborting_)
        return 0;
    if (t->kind != Kind::Download) {
        t->listing.append(data, static_cast<qsizetype>(len));
        return len;
    }
    errno = 0;
    if (t->file->write(data, static_cast<qint64>(len)) != static_cast<qint64>(len)) {
        t->diskFull = outOfRoom();
        return 0;
    }
    t->bytes += static_cast<qint64>(len);
    return len;
}

int FtpClient::onProgress(void* tp, qint64 dltotal, qint64 dlnow, qint64, qint64) {
    auto* t = static_cast<Transfer*>(tp);
    FtpClient* self = t->owner;
    if (self->aborting_)
        return 1;
    if (t->kind == Kind::Download && dltotal > 0)
        t->total = dltotal;
    if (t->kind == Kind::Download && (dlnow != t->shownBytes || t->total != t->shownTotal) &&
        dlnow > 0) {
        t->shownBytes = dlnow;
        t->shownTotal = t->total;
        emit self->TransferProgress(dlnow, t->total);
    }
    return self->aborting_ ? 1 : 0;
}

bool FtpClient::List(const QString& pattern) {
    if (!connected_) {
        emit FTPError(10057, "Not connected to a server. Press Connect first.");
        return false;
    }
    if (freshListing_) {
        const bool ok = freshListing_->first;
        const QByteArray listing = freshListing_->second;
        freshListing_.reset();
        return ok && parseListing(listing, pattern);
    }
    if (transfer_) {
        emit FTPError(10036, "A transfer is already running.");
        return false;
    }
    // Nothing waits here: the listing comes with ListReady.
    auto t = std::make_unique<Transfer>();
    t->kind = Kind::List;
    listWaiter_ = [this, pattern](bool success, const QByteArray& data) {
        const bool ok = success && parseListing(data, pattern);
        emit ListReady(ok);
    };
    start(std::move(t));
    return false;
}

bool FtpClient::parseListing(const QByteArray& listing, const QString& pattern) {
    Files.clear();
    const bool all = pattern == "*.*" || pattern == "*";
    const QRegularExpression match(QRegularExpression::wildcardToRegularExpression(pattern),
                                   QRegularExpression::CaseInsensitiveOption);
    for (QString name : QString::fromUtf8(listing).split('\n', Qt::SkipEmptyParts)) {
        name = name.trimmed();
        const int slash = static_cast<int>(name.lastIndexOf('/'));
        if (slash >= 0)
            name = name.mid(slash + 1);
        if (!name.isEmpty() && name != "." && name != ".." && (all || match.match(name).hasMatch()))
            Files << name;
    }
    return true;
}

bool FtpClient::Download(const QString& localPath, const QString& remoteName) {
    if (!connected_) {
        emit FTPError(10057, "Not connected to a server. Press Connect first.");
        return false;
    }
    if (transfer_) {
        emit FTPError(10036, "A transfer is already running.");
        return false;
    }
    auto t = std::make_unique<Transfer>();
    t->kind = Kind::Download;
    t->remote = remoteName;
    t->file = std::make_unique<QSaveFile>(localPath);
    t->file->setDirectWriteFallback(false);
    if (!t->file->open(QIODevice::WriteOnly)) {
        emit FTPError(1004, "Cannot write '" + localPath + "': " + t->file->errorString() + ".");
        return false;
    }
    emit FTPEvent(150, "Downloading " + remoteName);
    start(std::move(t));
    return true;
}

void FtpClient::Abort() {
    if (!transfer_)
        return;
    aborting_ = true;
    if (driver_->insideCurl())
        return; // libcurl stops it on its next call back
    driver_->remove(transfer_->easy);
    finished(transfer_->easy, CURLE_ABORTED_BY_CALLBACK);
}

bool FtpClient::Disconnect() {
    if (driver_->insideCurl()) {
        aborting_ = true;
        QTimer::singleShot(0, this, [this] { Disconnect(); });
        return true;
    }
    Abort();
    driver_->reset();
    freshListing_.reset();
    const bool was = connected_;
    connected_ = false;
    if (was)
        emit FTPEvent(221, "Disconnected from " + server_);
    emit Disconnected();
    return true;
}

void FtpClient::finished(CURL* easy, int resultCode) {
    if (!transfer_ || transfer_->easy != easy) {
        curl_easy_cleanup(easy);
        return;
    }
    const auto result = static_cast<CURLcode>(resultCode);
    std::unique_ptr<Transfer> t = std::move(transfer_);
    const bool aborted = aborting_ && result != CURLE_OK;
    aborting_ = false;
    if (t->kind == Kind::List && listWaiter_) {
        const auto waiter = std::exchange(listWaiter_, nullptr); // it may start another
        waiter(result == CURLE_OK, t->listing);
    }
    if (t->file) {
        bool saved = false;
        if (result == CURLE_OK) {
            if (t->total <= 0 || t->total < t->bytes)
                t->total = t->bytes;
            if (t->shownBytes != t->bytes || t->shownTotal != t->total)
                emit TransferProgress(t->bytes, t->total);
            errno = 0;
            saved = t->file->commit();
            if (!saved && outOfRoom())
                emit FTPError(1004, kDiskFull);
            else if (!saved)
                emit FTPError(1004, "Cannot save '" + t->file->fileName() +
                                        "': " + t->file->errorString() + ".");
        } else {
            t->file->cancelWriting();
            t->file->commit(); // discards the temporary file
        }
        t->file.reset();
        if (saved)
            emit FTPEvent(226,
                          QString("Download complete: %1, %2 bytes").arg(t->remote).arg(t->bytes));
    }
    // A directory the server will not list (550 to NLST) still means the
    // logon worked; the list then holds only "..", and no error is shown.
    const bool listingRefused =
        t->kind != Kind::Download &&
        (result == CURLE_REMOTE_FILE_NOT_FOUND || result == CURLE_REMOTE_ACCESS_DENIED ||
         result == CURLE_FTP_COULDNT_RETR_FILE);
    const bool loggedOn = t->kind == Kind::Logon && (result == CURLE_OK || listingRefused);
    if (loggedOn) {
        connected_ = true;
        freshListing_ = std::make_pair(result == CURLE_OK, t->listing);
        // The window masks the account name; the log does not show it either.
        emit FTPEvent(230, "Logged on to " + server_);
    } else if (result == CURLE_OK && t->kind == Kind::List) {
        emit FTPEvent(226, "Directory listing received");
    } else if (listingRefused) {
        // Said in the list itself: it holds only "..".
    } else if (aborted) {
        emit FTPEvent(426, "Transfer aborted");
    } else if (result != CURLE_OK) {
        reportFailure(*t, result);
    }
    curl_easy_cleanup(t->easy);
    t.reset();
    emit transferFinished();
    if (loggedOn)
        emit Connected();
}

void FtpClient::reportFailure(const Transfer& t, int code) {
    long response = 0;
    curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &response);
    const QString where = QString("%1, port %2").arg(server_).arg(port_);
    switch (static_cast<CURLcode>(code)) {
    case CURLE_LOGIN_DENIED:
        emit FTPError(530, "Login incorrect.");
        return;
    case CURLE_REMOTE_FILE_NOT_FOUND:
        emit FTPError(550, "File not found on the server: " + t.remote + ".");
        return;
    case CURLE_REMOTE_ACCESS_DENIED:
        emit FTPError(response >= 400 ? static_cast<int>(response) : 550,
                      "Access denied on the server.");
        return;
    case CURLE_COULDNT_CONNECT:
        emit FTPError(10061, "Connection refused: no FTP server answers at " + where + ".");
        return;
    case CURLE_COULDNT_RESOLVE_HOST:
        emit FTPError(11001, "Server not found: " + server_ + ".");
        return;
    case CURLE_OPERATION_TIMEDOUT:
        emit FTPError(
            10060, QString("Timed out: the server did not answer for %1 seconds.").arg(timeout_));
        return;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_SERVER_REPLY:
        emit FTPError(10054, "Connection lost: the transfer ended before the whole file arrived.");
        return;
    case CURLE_WRITE_ERROR:
        emit FTPError(1004, t.diskFull ? QString(kDiskFull)
                                       : QString("Cannot write the downloaded file."));
        return;
    default: {
        const QString detail = *t.error ? QString::fromUtf8(t.error)
                                        : QString(curl_easy_strerror(static_cast<CURLcode>(code)));
        emit FTPError(response >= 400 ? static_cast<int>(response) : 20000 + code, detail + ".");
    }
    }
}
