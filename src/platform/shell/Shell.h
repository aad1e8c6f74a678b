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
// An opener that starts counts as started (42) at once: nothing waits for
// its answer. If it then fails, the late-failure handler gets its result
// code when the answer comes.
class Shell {
public:
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
