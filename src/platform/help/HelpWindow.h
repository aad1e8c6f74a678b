#pragma once

#include <QTextBrowser>
#include <QWidget>

#include <memory>

class ChmFile;
class QTreeWidget;

// A help window: the file's contents tree beside a browser that shows its
// pages, following links and showing pictures from inside the file.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    // nullptr when the file cannot be shown.
    static QWidget* open(const QString& file, QWidget* owner);

    QTextBrowser* browser() const { return browser_; }
    QTreeWidget* contentsTree() const { return tree_; }
    ~HelpWindow() override;

private:
    HelpWindow(std::unique_ptr<ChmFile> chm, QWidget* owner);
    std::unique_ptr<ChmFile> chm_;
    QTextBrowser* browser_;
    QTreeWidget* tree_;
};
