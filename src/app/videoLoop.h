// The video-mode run loop: brings both cameras into live video and ends.
#pragma once

// Returns 0 once both cameras received their parameter files.
int runVideoLoop();
