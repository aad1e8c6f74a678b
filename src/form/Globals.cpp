#include "Globals.h"

QString ActiveDatabase;
QString UserName;
QString CompanyName;
