#include "HelpWindow.h"

#include "ChmFile.h"

#include <QHBoxLayout>
#include <QSplitter>
#include <QTreeWidget>

namespace {

class ChmBrowser : public QTextBrowser {
public:
    ChmBrowser(const ChmFile& chm, QWidget* parent) : QTextBrowser(parent), chm_(chm) {}
    QVariant loadResource(int type, const QUrl& url) override {
        if (url.scheme() == "chm")
            return chm_.read(url.path());
        return QTextBrowser::loadResource(type, url);
    }

private:
    const ChmFile& chm_;
};

QUrl topicUrl(const QString& local) {
    QUrl u;
    u.setScheme("chm");
    u.setPath(local.startsWith('/') ? local : "/" + local);
    return u;
}

void addEntries(QTreeWidgetItem* parent, QTreeWidget* tree,
                const std::vector<ChmFile::Entry>& entries) {
    for (const auto& e : entries) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
        item->setText(0, e.name);
        item->setData(0, Qt::UserRole, e.local);
        addEntries(item, tree, e.children);
    }
}

} // namespace

HelpWindow::~HelpWindow() = default;

QWidget* HelpWindow::open(const QString& file, QWidget* owner) {
    auto chm = ChmFile::open(file);
    if (!chm)
        return nullptr;
    auto* w = new HelpWindow(std::move(chm), owner);
    w->show();
    return w;
}

HelpWindow::HelpWindow(std::unique_ptr<ChmFile> chm, QWidget* owner)
    : QWidget(owner, Qt::Window), chm_(std::move(chm)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Quarzel Geochemical Database Help");
    resize(820, 560);
    auto* split = new QSplitter(this);
    tree_ = new QTreeWidget(split);
    tree_->setHeaderHidden(true);
    browser_ = new ChmBrowser(*chm_, split);
    split->setStretchFactor(1, 3);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);
    addEntries(nullptr, tree_, chm_->contents());
    tree_->expandAll();
    connect(tree_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        const QString local = item->data(0, Qt::UserRole).toString();
        if (!local.isEmpty())
            browser_->setSource(topicUrl(local));
    });
    browser_->setSource(topicUrl(chm_->defaultTopic()));
}
