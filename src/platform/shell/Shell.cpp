#include "Shell.h"

#include <QProcess>

#include <functional>

namespace {

QString openerOverride;
std::function<void(int)> lateFailure;

class OpenerShell : public Shell::Implementation {
public:
    int execute(const QString& file, const QString& parameters, const QString& directory) override;
};

OpenerShell realShell;
Shell::Implementation* current = &realShell;

} // namespace

void Shell::onLateFailure(std::function<void(int)> handler) {
    lateFailure = std::move(handler);
}

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

namespace {

int resultOf(const QProcess& p) {
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

} // namespace

int OpenerShell::execute(const QString& file, const QString& parameters, const QString& directory) {
    auto* proc = new QProcess;
    QStringList args{file};
    if (!parameters.isEmpty())
        args << parameters;
    proc->setProgram(Shell::opener());
    proc->setArguments(args);
    proc->setWorkingDirectory(directory);
    proc->start();
    if (!proc->waitForStarted(5000)) {
        delete proc;
        return 2; // no opener to start
    }
    // Started: it counts as such at once, so that the window never waits
    // on the opener; its failure, when it comes, is reported then.
    QObject::connect(proc, &QProcess::finished, proc, [proc] {
        const int result = resultOf(*proc);
        proc->deleteLater();
        if (result <= 32 && lateFailure)
            lateFailure(result);
    });
    return 42;
}
