#include "CurlEventDriver.h"

#include <QSocketNotifier>
#include <QTimer>

CurlEventDriver::CurlEventDriver(Done onDone, QObject* parent)
    : QObject(parent), timer_(new QTimer(this)), onDone_(std::move(onDone)) {
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, [this] { action(CURL_SOCKET_TIMEOUT, 0); });
    createMulti();
}

CurlEventDriver::~CurlEventDriver() {
    clearWatches();
    curl_multi_cleanup(multi_);
}

void CurlEventDriver::createMulti() {
    multi_ = curl_multi_init();
    curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &CurlEventDriver::onSocket);
    curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &CurlEventDriver::onTimer);
    curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
}

void CurlEventDriver::clearWatches() {
    for (auto& [s, w] : watches_) {
        delete w.read;
        delete w.write;
    }
    watches_.clear();
    timer_->stop();
}

void CurlEventDriver::reset() {
    clearWatches();
    curl_multi_cleanup(multi_);
    createMulti();
}

void CurlEventDriver::add(CURL* easy) {
    curl_multi_add_handle(multi_, easy); // libcurl asks for a timer at once
}

void CurlEventDriver::remove(CURL* easy) {
    curl_multi_remove_handle(multi_, easy);
}

int CurlEventDriver::onSocket(CURL*, curl_socket_t s, int what, void* selfp, void*) {
    auto* self = static_cast<CurlEventDriver*>(selfp);
    Watch& w = self->watches_[s];
    auto ensure = [&](QSocketNotifier*& n, QSocketNotifier::Type type, int mask, bool on) {
        if (on && !n) {
            n = new QSocketNotifier(static_cast<qintptr>(s), type, self);
            QObject::connect(n, &QSocketNotifier::activated, self,
                             [self, s, mask] { self->action(s, mask); });
        }
        if (n)
            n->setEnabled(on);
    };
    if (what == CURL_POLL_REMOVE) {
        // Only switched off: the notifier may be the one calling us, and a
        // new socket often gets the same number, where two notifiers for one
        // socket would not both be heard. The next socket of that number
        // takes this one over.
        for (QSocketNotifier* n : {w.read, w.write})
            if (n)
                n->setEnabled(false);
        return 0;
    }
    ensure(w.read, QSocketNotifier::Read, CURL_CSELECT_IN,
           what == CURL_POLL_IN || what == CURL_POLL_INOUT);
    ensure(w.write, QSocketNotifier::Write, CURL_CSELECT_OUT,
           what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
    return 0;
}

int CurlEventDriver::onTimer(CURLM*, long timeoutMs, void* selfp) {
    auto* self = static_cast<CurlEventDriver*>(selfp);
    if (timeoutMs < 0)
        self->timer_->stop();
    else
        self->timer_->start(static_cast<int>(timeoutMs));
    return 0;
}

void CurlEventDriver::action(curl_socket_t s, int mask) {
    int running = 0;
    ++depth_;
    curl_multi_socket_action(multi_, s, mask, &running);
    --depth_;
    collect();
}

void CurlEventDriver::collect() {
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
        if (msg->msg != CURLMSG_DONE)
            continue;
        CURL* easy = msg->easy_handle;
        const CURLcode result = msg->data.result;
        curl_multi_remove_handle(multi_, easy);
        onDone_(easy, result);
    }
}
