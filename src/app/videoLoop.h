// The video-mode run loop behind "--livevideo" and "--normvideo": connects both cameras,
// waits until both ask for parameters, pushes parameter files with operation mode LIVEVIDEO
// and ends, so that the operator can watch the cameras' live video with their own viewers.
#pragma once

// Returns 0 once both cameras received their parameter files (or when a stop was requested).
int runVideoLoop();

// The loop with another station configuration path (tests).
int runVideoLoopWith(const char* configPath);
