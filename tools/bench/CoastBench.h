#pragma once

class BenchReport;

// The map's ground as the user waits for it: the coastlines and graticule
// drawn into a window-sized image at the zooms a user goes through, each
// against 50 ms.
void runCoastCases(BenchReport& report);
