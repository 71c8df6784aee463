// The camera parameter record: every acquisition setting of a line-scan camera. The same
// record is read from the station's parameter files, pushed to the camera computers as
// "acquire.par", filled from every transfer-file header and committed into every
// synchronisation. It is a plain record, copied as a whole.
#pragma once

#include <cstdint>
#include <cstdio>
#include <type_traits>

// Roles (`camera_id`).
enum { CAM_KIV = 0, CAM_A = 1, CAM_B = 2 };
// Operation modes (`operation_mode`).
enum { OPMODE_AUTO = 0, OPMODE_NORMALISATION = 1, OPMODE_MEASUREMENT = 2, OPMODE_LIVEVIDEO = 3 };

// Per-camera optics and video settings.
struct cameraBlock {
    float xscale;      // horizontal scale factor [mm/pixel]
    float distance;    // optical distance [mm]
    uint32_t gain;     // analog gain
    uint32_t exposure; // exposure time [us]
    int32_t offset;    // video offset
};

struct cameraParams {
    int32_t reserved[4];
    int32_t commitState; // -1 not committed, 0 committed
    int32_t commitTime;  // seconds since the epoch given to the commit
    int32_t cameraId;    // role: CAM_KIV, CAM_A or CAM_B
    int32_t operationMode;
    int32_t normVideoMode;
    int32_t calibrationMode;
    uint16_t nextSyncId;
    uint32_t top;
    uint32_t left;
    int32_t height;
    uint32_t width;
    int32_t bitsPerPixel;
    int32_t calibrationThreshold;
    int32_t threshold;
    int32_t minRleLength;
    uint32_t rleEncoding;
    int32_t rleAvgSegments;
    int32_t lineTriggerLevel; // mV
    int32_t reserved2[6];
    uint32_t snapLabelSeconds;
    uint32_t snapLabelMicroseconds;
    uint8_t maxVideoLevel;
    uint8_t normVideoLevel;
    uint8_t minVideoLevel;
    uint16_t windowCentre; // set by the commit
    uint16_t softwareVersion;
    uint16_t suSerialNr;
    float planeBackLeft; // mm
    float planeBackRight;
    float planeFrontRight;
    double lineFrequency; // Hz
    cameraBlock camA;
    cameraBlock camB;
    cameraBlock current; // the block of the record's own camera, set by the commit
    char camASerial[16];
    char camBSerial[16];
};
static_assert(std::is_trivially_copyable<cameraParams>::value, "copied as a whole");

// Sets every field to its default; -1 for a missing record.
int resetCameraParams(cameraParams* params);

// Reads a camera parameter file into `params`; fields without a valid line keep their values.
// Each rejected value is reported on standard error. 0, or -1 when the file cannot be read
// (the record is then unchanged).
int presetCameraSettingsFromConfFile(cameraParams* params, const char* path);

// Writes the record in the camera parameter file format; 0, or -1 for missing arguments.
int writeCameraParams(FILE* stream, const cameraParams* params);

// 0 when the norm video level is 0; otherwise the negated offset of the record's own camera
// when that offset is 0 or below, else 0.
uint8_t minimumVideoLevel(const cameraParams* params);

// Commits the record at `time` (seconds > 0): takes the own camera's block as current block,
// checks the capture window, sets the window centre. 0, or -1.
int commitCameraSettingsPreset(cameraParams* params, int32_t time);

// Combines the records of camera A and camera B into the station record `result`; -1 (and
// `result` untouched) when they are not compatible.
int mergeCameraParams(const cameraParams* a, const cameraParams* b, cameraParams* result);
