#pragma once

#include "Iron.h"
#include "exchange/ViewExport.h"

namespace norm {

// The norm as columns an export appends to each row: "CIPW Q" ... "CIPW
// Sum", "CIPW Mg#", "CIPW DI", "CIPW CIA" as numbers to two decimals, and "CIPW Name",
// the refined name (or why the row has none), as in `quarzel-db norm`.
ViewExport::ExtraColumns exportColumns(IronChoice iron);

} // namespace norm
