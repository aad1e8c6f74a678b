// Help contents, the home page and the About window.
#include "app/QuarzelDatabase.h"

void QuarzelDatabase::mnuHelpContents_Click() {}
void QuarzelDatabase::mnuInternet_Click() {}
void QuarzelDatabase::mnuAbout_Click() {}
