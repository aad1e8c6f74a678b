#pragma once

class QPrinter;

// The print dialog control: Flags 64 shows the print set-up dialog (printer,
// paper, orientation); other flags show the print dialog, without page
// ranges or a selection when flags 8 and 4 are set, and never with collation
// or reversed order, which the reports do not follow. Printing to a PDF
// file is always offered. With CancelError set, Cancel raises PrintError 32755.
// Tests answer the dialog through Implementation.
class PrintDialog {
public:
    class Implementation {
    public:
        virtual ~Implementation() = default;
        // Sets up the printer and the copy count; false for Cancel.
        virtual bool showPrinter(QPrinter& printer, int flags, int& copies) = 0;
    };

    bool CancelError = false;
    int Flags = 0;
    int Copies = 1;

    void ShowPrinter();

    static void setImplementation(Implementation* impl);
};
