// Help contents, the home page and the About window.
#include "AboutController.h"

#include "Module1.h"
#include "form/MainForm.h"
#include "frmAbout.h"
#include "platform/dialogs/Guarded.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/help/HtmlHelp.h"
#include "platform/program/ProgramInfo.h"
#include "platform/shell/Shell.h"

#include <QAction>

AboutController::AboutController(MainForm& form) : form_(form) {
    auto on = [&](const QString& name, auto handler) {
        QObject::connect(form.menuItem(name), &QAction::triggered, form.formWidget(),
                         guarded(handler));
    };
    on("mnuHelpContents", [this] { mnuHelpContents_Click(); });
    on("mnuInternet", [this] { mnuInternet_Click(); });
    on("mnuAbout", [this] { mnuAbout_Click(); });
}

AboutController::~AboutController() {
    delete about_;
}

void AboutController::mnuHelpContents_Click() {
    // A missing or unreadable file shows nothing of the program's own.
    HtmlHelp::HtmlHelpA(form_.formWidget(), ProgramInfo::resourceFile("STONARC.CHM"),
                        HtmlHelp::HH_DISPLAY_TOPIC, 0);
}

void AboutController::mnuInternet_Click() {
    // An opener that fails after it was counted as started is reported in
    // the same words, when its answer comes.
    Shell::onLateFailure(
        [](int result) { MessageBox::Show(Module1::shellFailureText(result), 0); });
    QString target = Module1::kHomePage;
    const int result = Module1::OpenWithShell(target);
    if (result > 32)
        return;
    MessageBox::Show(Module1::shellFailureText(result), 0);
}

void AboutController::mnuAbout_Click() {
    if (!about_)
        about_ = new frmAbout; // no owner window: it lives until closed or the program ends
    about_->show();
    about_->raise();
    about_->activateWindow();
}
