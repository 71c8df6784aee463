// The operator's request to end the program (SIGINT, SIGTERM, or SIGHUP when the SSH session
// it ran in closed). The run loops look at it between their steps, so that the program never
// stops while a file is half written and always gives the terminal back.
#pragma once

// Installs handlers for SIGINT, SIGTERM and SIGHUP that only note the request, and ignores
// SIGPIPE: a write to a closed pipe (`acquire_kiv | head -1`) fails where it happens instead of
// killing the controller.
void installStopHandlers();
bool stopRequested();
