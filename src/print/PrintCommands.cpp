// Printing: the current-row report and the second report layout.
#include "app/QuarzelDatabase.h"

void QuarzelDatabase::Printdata1() {}
void QuarzelDatabase::PrintData() {}
