#pragma once

#include <QObject>

#include <curl/curl.h>

#include <functional>
#include <map>

class QSocketNotifier;
class QTimer;

// Drives a libcurl multi handle from the Qt event loop: libcurl says which
// sockets to watch and when to wake it, the event loop reports activity,
// and finished transfers are handed to a callback. Everything stays on the
// thread that owns the driver.
class CurlEventDriver : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(CURL* easy, CURLcode result)>;

    explicit CurlEventDriver(Done onDone, QObject* parent = nullptr);
    ~CurlEventDriver() override;

    void add(CURL* easy);
    void remove(CURL* easy);
    // Drops every cached connection (a fresh multi handle).
    void reset();
    // True while libcurl is calling back into us; no curl call may be made then.
    bool insideCurl() const { return depth_ > 0; }

private:
    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };
    static int onSocket(CURL* easy, curl_socket_t s, int what, void* self, void* socketp);
    static int onTimer(CURLM* multi, long timeoutMs, void* self);
    void action(curl_socket_t s, int mask);
    void collect();
    void createMulti();
    void clearWatches();

    CURLM* multi_ = nullptr;
    QTimer* timer_;
    std::map<curl_socket_t, Watch> watches_;
    Done onDone_;
    int depth_ = 0;
};
