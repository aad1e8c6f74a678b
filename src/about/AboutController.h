#pragma once

class MainForm;
class frmAbout;

// The Help menu: the help file's contents, the home page and the About
// window.
class AboutController {
public:
    // Connects the Help menu's items.
    explicit AboutController(MainForm& form);
    ~AboutController(); // the About window ends with the program

    void mnuHelpContents_Click();
    void mnuInternet_Click();
    void mnuAbout_Click();
    frmAbout* aboutWindow() const { return about_; }

private:
    MainForm& form_;
    frmAbout* about_ = nullptr;
};
