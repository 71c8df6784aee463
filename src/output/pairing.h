// Pairing: the frames of camera A and camera B leave their queues in one time order (day of
// their synchronisation, then line position, camera A first on a tie; after a step of the wall
// clock everything of the new clock follows everything of the old) for the datafiles. Frames
// that would step back in time across a change of synchronisation are dropped.
#pragma once

#include "output/cameraQueue.h"
#include "output/frameDeque.h"
#include "output/frameRecord.h"

typedef frameDeque pairedQueue;

// Moves records from the heads of both queues into `paired` while both have records; true
// when `paired` grew. Nothing moves while the queues claim the same role or either has none.
bool pairFrames(pairedQueue& paired, cameraQueue& queueA, cameraQueue& queueB);

// Seconds of its own camera's data past the end of its interval that a record of a
// synchronisation already ended waits for its partner: the other camera's last files of a
// synchronisation come a second or two after the change, a camera silent for 10 s is resynced.
const int32_t PARTNER_WAIT_S = 30;
// Records one camera may hold while the other has none: some two minutes of heavy rain, about
// 20 MB.
const size_t MAX_PARTNERLESS = 150000;

// While `other` is empty, moves the head records of `queue` whose partners can no longer come
// into `paired` alone (or drops them by the pairing rule): those of an ended synchronisation
// PARTNER_WAIT_S seconds behind the queue's newest record, and beyond MAX_PARTNERLESS the
// oldest whatever their synchronisation (then `*bounded` is set). True when `paired` grew.
bool pairPartnerless(pairedQueue& paired, cameraQueue& queue, const cameraQueue& other,
                     bool* bounded);
