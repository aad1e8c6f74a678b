#pragma once

#include <QString>

#include <functional>

class QWidget;

// Opens documents and addresses with the desktop's opener (xdg-open), and
// reports the outcome with the shell's result codes: above 32 for success;
// 2 when the file is missing or the opener cannot be started; 31 when no
// program is set up for the address; 0 for any other failure. Tests can
// replace the whole shell, or only the opener program it runs.
//
// The opener's answer is awaited for a short grace period with the event
// loop running. An opener still busy then counts as started (42); if it
// fails later, the late-failure handler gets its result code.
class Shell {
public:
    static constexpr int kGraceMs = 1500;
    class Implementation {
    public:
        virtual ~Implementation() = default;
        virtual int execute(const QString& file, const QString& parameters,
                            const QString& directory) = 0;
    };

    static int ShellExecuteA(QWidget* parent, const QString& operation, const QString& file,
                             const QString& parameters, const QString& directory, int showCommand);
    static QWidget* GetDesktopWindow() { return nullptr; }

    static void setImplementation(Implementation* impl); // nullptr restores the opener
    static void setOpener(const QString& program);       // empty restores xdg-open
    static QString opener();
    static void onLateFailure(std::function<void(int)> handler);
};
