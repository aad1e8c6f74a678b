#include "FullDisk.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace {

sqlite3_vfs* ordinary = nullptr;
sqlite3_vfs full;
sqlite3_io_methods methods;
std::atomic<long long> room{0};

struct File {
    sqlite3_file base;
    sqlite3_file* real;
};

sqlite3_file* real(sqlite3_file* f) {
    return reinterpret_cast<File*>(f)->real;
}

int write(sqlite3_file* f, const void* data, int n, sqlite3_int64 at) {
    sqlite3_int64 size = 0;
    real(f)->pMethods->xFileSize(real(f), &size);
    const long long grows = std::max<sqlite3_int64>(0, at + n - size);
    if (grows > 0 && room.fetch_sub(grows) < grows) {
        room = 0;
        return SQLITE_FULL;
    }
    return real(f)->pMethods->xWrite(real(f), data, n, at);
}

int close(sqlite3_file* f) {
    const int rc = real(f)->pMethods ? real(f)->pMethods->xClose(real(f)) : SQLITE_OK;
    std::free(real(f));
    return rc;
}

int open(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* outFlags) {
    auto* me = reinterpret_cast<File*>(f);
    me->base.pMethods = nullptr;
    me->real = static_cast<sqlite3_file*>(std::calloc(1, static_cast<size_t>(ordinary->szOsFile)));
    const int rc = ordinary->xOpen(ordinary, name, me->real, flags, outFlags);
    if (me->real->pMethods)
        me->base.pMethods = &methods; // closed through us even when the open failed
    else
        std::free(me->real);
    return rc;
}

} // namespace

FullDisk::FullDisk(long long bytes) {
    room = bytes;
    if (!ordinary) {
        ordinary = sqlite3_vfs_find(nullptr);
        full = *ordinary;
        full.zName = "full-disk";
        full.szOsFile = sizeof(File);
        full.xOpen = open;
        methods.iVersion = 1; // no shared memory and no mapping: every write comes here
        methods.xClose = close;
        methods.xRead = [](sqlite3_file* f, void* p, int n, sqlite3_int64 at) {
            return real(f)->pMethods->xRead(real(f), p, n, at);
        };
        methods.xWrite = write;
        methods.xTruncate = [](sqlite3_file* f, sqlite3_int64 size) {
            return real(f)->pMethods->xTruncate(real(f), size);
        };
        methods.xSync = [](sqlite3_file* f, int flags) {
            return real(f)->pMethods->xSync(real(f), flags);
        };
        methods.xFileSize = [](sqlite3_file* f, sqlite3_int64* size) {
            return real(f)->pMethods->xFileSize(real(f), size);
        };
        methods.xLock = [](sqlite3_file* f, int l) { return real(f)->pMethods->xLock(real(f), l); };
        methods.xUnlock = [](sqlite3_file* f, int l) {
            return real(f)->pMethods->xUnlock(real(f), l);
        };
        methods.xCheckReservedLock = [](sqlite3_file* f, int* out) {
            return real(f)->pMethods->xCheckReservedLock(real(f), out);
        };
        methods.xFileControl = [](sqlite3_file* f, int op, void* arg) {
            return real(f)->pMethods->xFileControl(real(f), op, arg);
        };
        methods.xSectorSize = [](sqlite3_file* f) {
            return real(f)->pMethods->xSectorSize(real(f));
        };
        methods.xDeviceCharacteristics = [](sqlite3_file* f) {
            return real(f)->pMethods->xDeviceCharacteristics(real(f));
        };
    }
    sqlite3_vfs_register(&full, 1);
}

FullDisk::~FullDisk() {
    sqlite3_vfs_unregister(&full);
    sqlite3_vfs_register(ordinary, 1);
}
