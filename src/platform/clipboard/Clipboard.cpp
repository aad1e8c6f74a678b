#include "Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

void Clipboard::Clear() {
    QGuiApplication::clipboard()->clear();
}

void Clipboard::SetText(const QString& text) {
    QGuiApplication::clipboard()->setText(text);
}
