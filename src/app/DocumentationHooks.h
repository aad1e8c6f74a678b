#pragma once

class QuarzelDatabase;

// Pictures for the README, made by the real program: with QUARZEL_SCREENSHOT
// set it saves the painted main window there; with QUARZEL_REPORT_PDF set it
// prints the first row's report to that PDF. Either way it then ends.
void installDocumentationHooks(QuarzelDatabase& window);
