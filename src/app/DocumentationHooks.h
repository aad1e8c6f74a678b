#pragma once

class QuarzelDatabase;

// Pictures for the README, made by the real program: with QUARZEL_SCREENSHOT
// set it saves the painted main window there; with QUARZEL_REPORT_PDF set it
// prints the first row's report to that PDF. Either way it then ends.
void installDocumentationHooks(QuarzelDatabase& window);

// With --time-first-paint: writes "painted" to standard output once the
// grid's first rows are painted, and ends the program (for the benchmark's
// cold start, a new process as the user starts it).
void reportFirstPaint(QuarzelDatabase& window);
