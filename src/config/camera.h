// The two cameras of the station, A and B, as the files number them (camera_id 1 and 2). Code
// that does something per camera asks this header for the camera's index, letter or number
// instead of comparing with 1 and 2.
#pragma once

#include <cstdint>

enum class cam : uint32_t { none = 0, A = 1, B = 2 };

const cam BOTH_CAMERAS[] = {cam::A, cam::B};

// Camera A or B from its number in a file or record; none for any other number.
constexpr cam camFromId(uint64_t id) {
    return id == 1 ? cam::A : id == 2 ? cam::B : cam::none;
}
// The number a file or record carries: 1, 2, or 0 for none.
constexpr uint32_t camId(cam c) {
    return uint32_t(c);
}
constexpr bool isCamera(cam c) {
    return c == cam::A || c == cam::B;
}
// 0 for A, 1 for B: the place of a camera in per-camera arrays (none counts as A).
constexpr int camIndex(cam c) {
    return c == cam::B ? 1 : 0;
}
// 'A' or 'B' ('?' for none), as the messages and the screen name a camera.
constexpr char camLetter(cam c) {
    return c == cam::A ? 'A' : c == cam::B ? 'B' : '?';
}
// 'a' or 'b' ('x' for none), as file names and configuration keys name a camera.
constexpr char camFileLetter(cam c) {
    return c == cam::A ? 'a' : c == cam::B ? 'b' : 'x';
}
