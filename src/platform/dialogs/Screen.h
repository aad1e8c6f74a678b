#pragma once

// The application-wide mouse pointer: 0 the default arrow, 11 the
// hourglass. Tests install a recorder to see what a command did with it.
class Screen {
public:
    class Implementation {
    public:
        virtual ~Implementation() = default;
        virtual void setMousePointer(int pointer) = 0;
    };

    static void setMousePointer(int pointer);
    static int MousePointer();
    static void setImplementation(Implementation* impl);
};
