#include "ChmFile.h"

#include <chm_lib.h>

#include <QFile>
#include <QRegularExpression>

std::unique_ptr<ChmFile> ChmFile::open(const QString& path) {
    if (!QFile::exists(path))
        return nullptr;
    chmFile* h = chm_open(QFile::encodeName(path).constData());
    if (!h)
        return nullptr;
    std::unique_ptr<ChmFile> f(new ChmFile(h));
    f->readSystem();
    if (f->defaultTopic_.isEmpty() || f->read(f->defaultTopic_).isEmpty())
        return nullptr; // nothing to show
    return f;
}

ChmFile::~ChmFile() {
    chm_close(handle_);
}

QByteArray ChmFile::read(const QString& path) const {
    chmUnitInfo ui;
    const QByteArray p = path.startsWith('/') ? path.toUtf8() : ("/" + path).toUtf8();
    if (chm_resolve_object(handle_, p.constData(), &ui) != CHM_RESOLVE_SUCCESS)
        return {};
    QByteArray data(static_cast<qsizetype>(ui.length), Qt::Uninitialized);
    const LONGINT64 got =
        chm_retrieve_object(handle_, &ui, reinterpret_cast<unsigned char*>(data.data()), 0,
                            static_cast<LONGINT64>(ui.length));
    if (got != static_cast<LONGINT64>(ui.length))
        return {};
    return data;
}

void ChmFile::readSystem() {
    // #SYSTEM: a version word, then records of code, length and data.
    const QByteArray sys = read("/#SYSTEM");
    QString contentsFile;
    for (qsizetype i = 4; i + 4 <= sys.size();) {
        const auto code = static_cast<quint16>(static_cast<uchar>(sys[i]) |
                                               (static_cast<uchar>(sys[i + 1]) << 8));
        const auto len = static_cast<quint16>(static_cast<uchar>(sys[i + 2]) |
                                              (static_cast<uchar>(sys[i + 3]) << 8));
        const QByteArray data = sys.mid(i + 4, len);
        const QString text = QString::fromLatin1(
            data.left(data.indexOf('\0') < 0 ? data.size() : data.indexOf('\0')));
        if (code == 0)
            contentsFile = text;
        else if (code == 2)
            defaultTopic_ = text;
        i += 4 + len;
    }
    if (defaultTopic_.isEmpty() && !read("/index.html").isEmpty())
        defaultTopic_ = "index.html";
    if (!contentsFile.isEmpty())
        contents_ = parseContents(QString::fromUtf8(read(contentsFile)));
}

std::vector<ChmFile::Entry> ChmFile::parseContents(const QString& html) {
    // Walks <UL>, </UL> and <OBJECT>…</OBJECT> in order, keeping a stack of
    // the lists being filled.
    static const QRegularExpression token(
        R"((<\s*ul\b[^>]*>)|(<\s*/\s*ul\s*>)|<\s*object\b[^>]*>(.*?)<\s*/\s*object\s*>)",
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression param(
        R"re(<\s*param\s+name\s*=\s*"([^"]*)"\s+value\s*=\s*"([^"]*)")re",
        QRegularExpression::CaseInsensitiveOption);
    std::vector<Entry> root;
    std::vector<std::vector<Entry>*> stack{&root};
    bool inList = false;
    for (auto it = token.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        if (m.capturedLength(1)) {
            // The first list is the top level; a later one belongs to the
            // entry just before it.
            if (inList) {
                auto* list = stack.back();
                stack.push_back(list->empty() ? list : &list->back().children);
            }
            inList = true;
        } else if (m.capturedLength(2)) {
            if (stack.size() > 1)
                stack.pop_back();
        } else {
            Entry e;
            for (auto p = param.globalMatch(m.captured(3)); p.hasNext();) {
                const auto pm = p.next();
                if (pm.captured(1).compare("Name", Qt::CaseInsensitive) == 0)
                    e.name = pm.captured(2);
                else if (pm.captured(1).compare("Local", Qt::CaseInsensitive) == 0)
                    e.local = pm.captured(2);
            }
            if (!e.name.isEmpty())
                stack.back()->push_back(std::move(e));
        }
    }
    return root;
}
