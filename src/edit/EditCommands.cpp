// Record editing: edit mode, new and deleted rows, copy.
#include "app/QuarzelDatabase.h"

void QuarzelDatabase::mnuEdit2_Click(short) {}
void QuarzelDatabase::mnuRecord_Click(short) {}
void QuarzelDatabase::mnuEdit1_Click(short) {}
