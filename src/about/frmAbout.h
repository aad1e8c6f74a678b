#pragma once

#include <QDialog>

#include <array>

class QLabel;
class QPushButton;

// The About window: product title, version and revision, the legal notice,
// the support lines, the user's name and company, and a button that starts
// the system information tool. Closing it unloads it; showing it again
// loads it afresh.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kSupportMail = "support@quarzel-geochem.example";
    static constexpr const char* kWebAddress = "http://www.quarzel-geochem.example";

    explicit frmAbout(QWidget* parent = nullptr);

    QLabel* picIcon;
    QLabel* lblTitle;
    QLabel* lblDescription;
    QLabel* lblDisclaimer;
    QPushButton* cmdOK;
    QPushButton* cmdSysInfo;

    // Label captions as set, lines joined by a carriage return.
    static QString caption(const QLabel* label);

    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click();
    void StartSysInfo();
    static bool GetKeyValue(quintptr KeyRoot, const QString& KeyName, const QString& SubKeyRef,
                            QString& KeyVal);

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void reject() override; // Esc behaves like OK

private:
    static void setCaption(QLabel* label, const QString& text);
    bool loaded_ = false;
};
