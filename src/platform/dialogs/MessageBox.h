#pragma once

#include <QString>

#include <memory>

class QDialog;
class QWidget;

// Modal message boxes, as the program shows them: a text, a style number
// (0 OK only, 16 stop, 48 exclamation, 64 information) and a title. Tests
// install a recorder in place of the real dialog.
class MessageBox {
public:
    static constexpr const char* kApplicationTitle = "Quarzel Geochemical Database";

    class Implementation {
    public:
        virtual ~Implementation() = default;
        virtual void show(const QString& text, int style, const QString& title) = 0;
        // A question with the two answers given; true for the first.
        virtual bool ask(const QString& text, const QString& title, const QString& yes,
                         const QString& no) = 0;
    };

    // A box without a title of its own carries the application title.
    static void Show(const QString& text, int style, const QString& title = QString());
    static bool Ask(const QString& text, const QString& title, const QString& yes,
                    const QString& no);

    // A question with this many lines or more is shown with its text in a
    // scrolling box above the question and its buttons.
    static constexpr int kScrollingLines = 20;
    static std::unique_ptr<QDialog> questionDialog(const QString& text, const QString& title,
                                                   const QString& yes, const QString& no,
                                                   QWidget* parent = nullptr);

    // Replaces the dialog (nullptr restores the real one).
    static void setImplementation(Implementation* impl);
};
