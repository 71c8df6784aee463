// The operator's request to end the program (SIGINT, SIGTERM). The run loops look at it
// between their steps, so that the program never stops while a file is half written.
#pragma once

// Installs handlers for SIGINT and SIGTERM that only note the request.
void installStopHandlers();
bool stopRequested();
// Notes or clears a request by hand (tests, and the end of a run).
void requestStop();
void clearStopRequest();
