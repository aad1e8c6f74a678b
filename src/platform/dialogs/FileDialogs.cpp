#include "FileDialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

FileDialogs::Answer answer = nullptr;

// The extensions a filter names: "Excel workbook (*.xlsx)" -> {"xlsx"}.
QStringList extensions(const QString& filter) {
    QStringList out;
    static const QRegularExpression pattern(R"(\*\.([A-Za-z0-9]+))");
    for (auto it = pattern.globalMatch(filter); it.hasNext();)
        out << it.next().captured(1).toLower();
    return out;
}

} // namespace

QString FileDialogs::withChosenSuffix(const QString& name, const QString& chosenFilter,
                                      const QString& filters) {
    if (name.isEmpty())
        return name;
    const QString suffix = QFileInfo(name).suffix().toLower();
    if (!suffix.isEmpty() && extensions(filters).contains(suffix))
        return name; // typed with a type the dialog offers: taken as typed
    const QStringList chosen = extensions(chosenFilter);
    return chosen.isEmpty() ? name : name + "." + chosen.first();
}

QString FileDialogs::getSaveFileName(QWidget* parent, const QString& caption,
                                     const QString& suggested, const QString& filters) {
    QString chosen;
    const QString name = answer ? answer(filters, &chosen)
                                : QFileDialog::getSaveFileName(parent, caption, suggested, filters,
                                                               &chosen);
    if (chosen.isEmpty())
        chosen = filters.section(";;", 0, 0);
    return withChosenSuffix(name, chosen, filters);
}

void FileDialogs::setAnswer(Answer a) {
    answer = a;
}
