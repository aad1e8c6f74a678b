#pragma once

class frmFTP;

// The update download window: one window, kept until the program ends.
class UpdateController {
public:
    UpdateController() = default;
    ~UpdateController(); // a download still running takes its temporary file with it
    UpdateController(const UpdateController&) = delete;
    UpdateController& operator=(const UpdateController&) = delete;

    void ShowUpdateWindow();
    frmFTP* updateWindow() const { return ftp_; }

private:
    frmFTP* ftp_ = nullptr; // no owner window
};
