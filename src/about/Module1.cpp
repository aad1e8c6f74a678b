#include "Module1.h"

#include "platform/shell/Shell.h"

int Module1::OpenWithShell(QString& target) {
    return Shell::ShellExecuteA(Shell::GetDesktopWindow(), "Open", target, QString(), "/", 1);
}

QString Module1::shellFailureText(int result) {
    switch (result) {
    case 2:
        return "File not found";
    case 3:
        return "Path not found";
    case 5:
        return "Access denied";
    case 8:
        return "Out of memory";
    case 11:
        return "Invalid EXE file or error in EXE image";
    case 26:
        return "A sharing violation occurred";
    case 27:
        return "Incomplete or invalid file association";
    case 28:
        return "DDE Time out";
    case 29:
        return "DDE transaction failed";
    case 30:
        return "DDE busy";
    case 31:
        return "No association for file extension";
    case 32:
        return "DLL not found";
    default:
        return "Unknown error";
    }
}
