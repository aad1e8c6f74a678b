#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace {
double logicalDpi() {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->logicalDotsPerInchX() : 96.0;
}
} // namespace

int Twips::toPixels(int twips) {
    return static_cast<int>(std::lround(twips * logicalDpi() / 1440.0));
}

int Twips::fromPixels(int pixels) {
    return static_cast<int>(std::lround(pixels * 1440.0 / logicalDpi()));
}

QRect Twips::rect(int left, int top, int width, int height) {
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}
