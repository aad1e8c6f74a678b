#pragma once

#include <QWidget>

// A help window showing one compiled help file. Not built yet.
class HelpWindow {
public:
    static QWidget* open(const QString& file, QWidget* owner);
};
