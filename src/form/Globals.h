#pragma once

#include <QString>

// The program's global values: the active table set ("Doziro", "Pro1",
// "Pro2" or "Pro3") and the two user values read at start-up.
extern QString ActiveDatabase;
extern QString UserName;
extern QString CompanyName;
