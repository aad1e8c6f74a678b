#pragma once

// A disk that fills up, for the suites: while it is installed as SQLite's
// default file system, writes that grow a file fail with SQLITE_FULL, as a
// full disk fails them, once `room` bytes have been added; writes over
// bytes a file already holds still succeed. Connections opened before it
// was installed are not affected.
class FullDisk {
public:
    explicit FullDisk(long long room);
    ~FullDisk(); // the ordinary file system is the default again
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;
};
