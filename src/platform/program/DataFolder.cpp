#include "DataFolder.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <unistd.h>

namespace {

std::string text(const QString& s) {
    return s.toStdString();
}

// Copies src to dest through dest + ".part", flushed to the disk before it
// is renamed into place.
void copyWhole(const QString& src, const QString& dest) {
    const QString part = dest + ".part";
    const auto fail = [&](const QString& path, int error) {
        std::remove(text(part).c_str());
        throw std::runtime_error("Cannot copy '" + text(src) + "' to '" + text(path) +
                                 "': " + std::strerror(error) + ".");
    };
    const int in = ::open(text(src).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        fail(src, errno);
    const int out = ::open(text(part).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) {
        const int e = errno;
        ::close(in);
        fail(part, e);
    }
    char buffer[1 << 16];
    ssize_t n;
    while ((n = ::read(in, buffer, sizeof buffer)) > 0) {
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
            if (w < 0) {
                const int e = errno;
                ::close(in);
                ::close(out);
                fail(part, e);
            }
            done += w;
        }
    }
    const int readError = n < 0 ? errno : 0;
    const int syncError = ::fsync(out) != 0 ? errno : 0;
    ::close(in);
    if (::close(out) != 0 && !syncError && !readError)
        fail(part, errno);
    if (readError || syncError)
        fail(readError ? src : part, readError ? readError : syncError);
    if (std::rename(text(part).c_str(), text(dest).c_str()) != 0)
        fail(dest, errno);
}

} // namespace

DataFolder::Places DataFolder::locate(const QString& programDir, const QString& xdgDataHome,
                                      const QString& home) {
    const QFileInfo database(programDir + "/quarzdb32.mdb");
    if (database.exists() && QFileInfo(programDir).isWritable())
        return {programDir, programDir, false};
    const QString base = !xdgDataHome.isEmpty() && QDir::isAbsolutePath(xdgDataHome)
                             ? xdgDataHome
                             : home + "/.local/share";
    return {QDir::cleanPath(base + "/quarzel"), QDir::cleanPath(programDir + "/../share/quarzel"),
            true};
}

void DataFolder::prepare(const Places& places) {
    if (!places.installed)
        return;
    namespace fs = std::filesystem;
    const fs::path dir = text(places.data);
    std::error_code ec;
    if (fs::exists(dir, ec) && !fs::is_directory(dir, ec))
        throw std::runtime_error("Cannot create the data folder '" + text(places.data) +
                                 "': a file of that name stands in its place.");
    fs::create_directories(dir, ec);
    if (ec)
        throw std::runtime_error("Cannot create the data folder '" + text(places.data) +
                                 "': " + ec.message() + ".");
    for (const char* name : kSeeded) {
        const QString dest = places.data + "/" + name;
        if (QFileInfo::exists(dest))
            continue; // the user's own file stays as it is
        const QString shipped = places.resources + "/" + name;
        if (!QFileInfo::exists(shipped))
            throw std::runtime_error("The shipped file '" + text(shipped) +
                                     "' is missing. Install the program again.");
        copyWhole(shipped, dest);
    }
}
