// The update download window.
#include "app/QuarzelDatabase.h"

void QuarzelDatabase::ShowUpdateWindow() {}
