#pragma once

#include <QString>

// The system clipboard, plain text only.
class Clipboard {
public:
    static void Clear();
    static void SetText(const QString& text);
};
