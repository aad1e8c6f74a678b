#pragma once

#include <QRect>

// Window geometry is given in twips, 1440 to the inch at the screen's
// logical resolution.
class Twips {
public:
    static int toPixels(int twips);
    static int fromPixels(int pixels);
    static QRect rect(int left, int top, int width, int height);
};
