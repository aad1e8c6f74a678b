#pragma once

#include <QMetaType>

#include <cstdint>

// A row of the view, as a signal names it: the view's generation and the
// row's key. index is where the row stands while the signal is delivered,
// for a model that must say so at once; it means nothing later.
struct RowRef {
    quint64 generation = 0;
    std::int64_t key = -1;
    long index = -1;
};
Q_DECLARE_METATYPE(RowRef)
