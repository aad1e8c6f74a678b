// The update download window.
#include "UpdateController.h"

#include "frmFTP.h"

UpdateController::~UpdateController() {
    delete ftp_;
}

void UpdateController::ShowUpdateWindow() {
    if (!ftp_)
        ftp_ = new frmFTP;
    ftp_->show();
    ftp_->raise();
}
