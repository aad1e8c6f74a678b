#include "Shell.h"

#include <QProcess>

#include <memory>

namespace {

QString openerOverride;

class OpenerShell : public Shell::Implementation {
public:
    int execute(const QString& file, const QString& parameters, const QString& directory) override;
};

OpenerShell realShell;
Shell::Implementation* current = &realShell;

} // namespace

void Shell::setOpener(const QString& program) {
    openerOverride = program;
}
QString Shell::opener() {
    return openerOverride.isEmpty() ? QString("xdg-open") : openerOverride;
}
void Shell::setImplementation(Implementation* impl) {
    current = impl ? impl : &realShell;
}

int Shell::ShellExecuteA(QWidget*, const QString&, const QString& file, const QString& parameters,
                         const QString& directory, int) {
    return current->execute(file, parameters, directory);
}

int OpenerShell::execute(const QString& file, const QString& parameters, const QString& directory) {
    auto* proc = new QProcess;
    QProcess& p = *proc;
    p.setProgram(Shell::opener());
    QStringList args{file};
    if (!parameters.isEmpty())
        args << parameters;
    p.setArguments(args);
    p.setWorkingDirectory(directory);
    p.start();
    if (!p.waitForStarted(5000)) {
        delete proc;
        return 2; // no opener to start
    }
    if (!p.waitForFinished(10000)) {
        // Still busy opening: it got going, which is all we ask of it. It
        // is left to finish on its own.
        QObject::connect(proc, &QProcess::finished, proc, &QObject::deleteLater);
        return 42;
    }
    std::unique_ptr<QProcess> done(proc);
    if (p.exitStatus() != QProcess::NormalExit)
        return 0;
    switch (p.exitCode()) {
    case 0:
        return 42;
    case 2: // the file does not exist
        return 2;
    case 3: // no program found to open it with
        return 31;
    default:
        return 0;
    }
}
