#include "Registry.h"

#include "platform/program/ProgramInfo.h"

#include <QFile>
#include <QStandardPaths>
#include <QTextStream>

namespace {

QString storeOverride;

struct Value {
    int type;
    QByteArray data;
};
using Key = std::map<QString, Value>;

QString normalKey(const QString& k) {
    return k.toUpper().replace('/', '\\');
}

// What the machine itself says, looked up when asked rather than written
// down when the program was built: the desktop's system information tool,
// found on the search path of this run. A value in the store file wins.
void addMachineFacts(std::map<QString, Key>& keys) {
    const QString msinfo = "HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\SHARED TOOLS\\MSINFO";
    if (keys.count(msinfo) && keys[msinfo].count("PATH"))
        return;
    for (const char* tool : {"hardinfo2", "hardinfo", "kinfocenter", "gnome-system-monitor"}) {
        const QString found = QStandardPaths::findExecutable(tool);
        if (!found.isEmpty()) {
            keys[msinfo]["PATH"] = {Registry::REG_SZ, found.toLocal8Bit() + '\0'};
            return;
        }
    }
}

std::map<QString, Key> load() {
    std::map<QString, Key> keys;
    QFile f(Registry::storePath());
    if (!f.open(QIODevice::ReadOnly))
        return keys;
    QString current;
    QTextStream in(&f);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith('[') && line.endsWith(']')) {
            current = normalKey(line.mid(1, line.size() - 2));
            keys[current];
            continue;
        }
        const int eq = static_cast<int>(line.indexOf('='));
        const int colon = static_cast<int>(line.indexOf(':', eq));
        if (current.isEmpty() || eq <= 0 || colon < 0)
            continue;
        const QString name = line.left(eq).toUpper();
        const QString type = line.mid(eq + 1, colon - eq - 1);
        const QString text = line.mid(colon + 1);
        if (type == "sz")
            keys[current][name] = {Registry::REG_SZ, text.toLocal8Bit() + '\0'};
        else if (type == "expand_sz")
            keys[current][name] = {Registry::REG_EXPAND_SZ, text.toLocal8Bit() + '\0'};
        else if (type == "dword") {
            const quint32 v = text.toUInt(nullptr, 16);
            QByteArray d(4, '\0');
            for (int i = 0; i < 4; ++i)
                d[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
            keys[current][name] = {Registry::REG_DWORD, d};
        }
    }
    addMachineFacts(keys);
    return keys;
}

// Open keys: handle -> key path.
std::map<Registry::HKEY, QString>& handles() {
    static std::map<Registry::HKEY, QString> h;
    return h;
}
Registry::HKEY nextHandle = 0x1000;

} // namespace

QString Registry::storePath() {
    return storeOverride.isEmpty() ? ProgramInfo::resourceFile("machine.reg") : storeOverride;
}

void Registry::setStorePath(const QString& path) {
    storeOverride = path;
}

long Registry::RegOpenKeyExA(HKEY root, const QString& subKey, int, int, HKEY* result) {
    if (root != HKEY_LOCAL_MACHINE)
        return ERROR_FILE_NOT_FOUND;
    const QString path = "HKEY_LOCAL_MACHINE\\" + normalKey(subKey);
    const auto keys = load();
    if (!keys.count(path))
        return ERROR_FILE_NOT_FOUND;
    *result = nextHandle++;
    handles()[*result] = path;
    return ERROR_SUCCESS;
}

long Registry::RegQueryValueExA(HKEY key, const QString& valueName, int* type, QByteArray& data,
                                long* size) {
    auto h = handles().find(key);
    if (h == handles().end())
        return ERROR_FILE_NOT_FOUND;
    const auto keys = load();
    auto k = keys.find(h->second);
    if (k == keys.end())
        return ERROR_FILE_NOT_FOUND;
    auto v = k->second.find(valueName.toUpper());
    if (v == k->second.end())
        return ERROR_FILE_NOT_FOUND;
    *type = v->second.type;
    if (v->second.data.size() > *size) {
        *size = static_cast<long>(v->second.data.size());
        return ERROR_MORE_DATA;
    }
    data.replace(0, v->second.data.size(), v->second.data);
    *size = static_cast<long>(v->second.data.size());
    return ERROR_SUCCESS;
}

long Registry::RegCloseKey(HKEY key) {
    return handles().erase(key) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

bool Registry::writeValue(const QString& storeFile, const QString& key, const QString& name,
                          int type, const QByteArray& data) {
    QFile f(storeFile);
    if (!f.open(QIODevice::Append | QIODevice::Text))
        return false;
    QTextStream out(&f);
    out << "[HKEY_LOCAL_MACHINE\\" << key << "]\n" << name << "=";
    if (type == REG_DWORD)
        out << "dword:" << data;
    else
        out << (type == REG_EXPAND_SZ ? "expand_sz:" : "sz:") << data;
    out << "\n";
    return true;
}
