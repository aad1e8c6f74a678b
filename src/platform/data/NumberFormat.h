#pragma once

#include "platform/db/Value.h"

#include <QString>

// How the grid shows a stored value under a column's number format. A
// format such as "#0.00" applies to numbers only: at least as many digits
// before the point as it has zeros there, exactly as many after it as it
// has zeros there, rounding half away from zero on the decimal digits the
// value is written with. Text is shown as stored and Null as nothing.
QString formatCell(const engine::Value& value, const QString& numberFormat);
