#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

struct chmFile;

// A compiled HTML help file, read with chmlib: its pages and pictures by
// path, its default topic and its table of contents.
class ChmFile {
public:
    struct Entry {
        QString name;
        QString local;
        std::vector<Entry> children;
    };

    // nullptr when the file is missing or is not a compiled help file.
    static std::unique_ptr<ChmFile> open(const QString& path);
    ~ChmFile();

    // The object at a path such as "/index.html"; empty when there is none.
    QByteArray read(const QString& path) const;
    QString defaultTopic() const { return defaultTopic_; }
    const std::vector<Entry>& contents() const { return contents_; }

    // Parses the sitemap list of a contents file.
    static std::vector<Entry> parseContents(const QString& html);

private:
    explicit ChmFile(chmFile* handle) : handle_(handle) {}
    void readSystem();

    chmFile* handle_;
    QString defaultTopic_;
    std::vector<Entry> contents_;
};
