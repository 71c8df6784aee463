// Pairing: the frames of camera A and camera B leave their queues in one time order (day of
// their synchronisation, then line position, camera A first on a tie; after a step of the wall
// clock everything of the new clock follows everything of the old) for the datafiles. Frames
// that would step back in time across a change of synchronisation are dropped.
#pragma once

#include "output/cameraQueue.h"
#include "output/frameRecord.h"

#include <deque>

typedef std::deque<frameRecord> pairedQueue;

// Moves records from the heads of both queues into `paired` while both have records; true
// when `paired` grew. Nothing moves while the queues claim the same role or either has none.
bool pairFrames(pairedQueue& paired, cameraQueue& queueA, cameraQueue& queueB);
