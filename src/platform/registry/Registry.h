#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>

// A small key store in place of the system registry, holding typed values
// (1 text, 2 expandable text, 4 32-bit number) under keys of the local-machine
// root. The store is a text file beside the program, "machine.reg":
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSINFO]
//   PATH=sz:/usr/bin/hardinfo
//
// with the types sz, expand_sz and dword (hexadecimal). Tests give it a
// file of their own. The file may be missing: what the machine has (its
// system information tool, searched for on PATH) is looked up at each read.
class Registry {
public:
    using HKEY = std::uintptr_t;
    static constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;
    static constexpr long ERROR_SUCCESS = 0;
    static constexpr long ERROR_FILE_NOT_FOUND = 2;
    static constexpr long ERROR_MORE_DATA = 234;
    static constexpr int REG_SZ = 1;
    static constexpr int REG_EXPAND_SZ = 2;
    static constexpr int REG_DWORD = 4;

    static long RegOpenKeyExA(HKEY root, const QString& subKey, int options, int samDesired,
                              HKEY* result);
    // Reads a value into data (at most *size bytes); sets its type and size.
    static long RegQueryValueExA(HKEY key, const QString& valueName, int* type, QByteArray& data,
                                 long* size);
    static long RegCloseKey(HKEY key);

    static QString storePath(); // the file read; beside the program unless set
    static void setStorePath(const QString& path);
    // Writes one value into a store file (used by the set-up tool and tests).
    static bool writeValue(const QString& storeFile, const QString& key, const QString& name,
                           int type, const QByteArray& data);
};
