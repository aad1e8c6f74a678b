// The update download window.
#include "app/QuarzelDatabase.h"
#include "frmFTP.h"

void QuarzelDatabase::ShowUpdateWindow() {
    if (!ftp_)
        ftp_ = new frmFTP; // one window, kept until the program ends; no owner window
    ftp_->show();
    ftp_->raise();
}
