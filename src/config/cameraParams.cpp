#include "config/cameraParams.h"

#include "log/messageLog.h"

#include "config/configParser.h"
#include "platform/ownFile.h"

#include <QFile>

#include <cmath>
#include <cstdarg>
#include <cstring>
#include <string>

namespace {

const char* const DEFAULT_SERIAL = "MT000000";
// The capture window must end before this pixel.
const long long SENSOR_PIXELS = 1024;

void resetCameraBlock(cameraBlock* block) {
    block->xscale = 0.16f;
    block->distance = 665.0f;
    block->gain = 0;
    block->exposure = 14;
    block->offset = 0;
}

bool intInRange(const char* value, long long lo, long long hi, long long* number) {
    *number = configInteger(value);
    return *number >= lo && *number <= hi;
}
// Stores the value in `field` when it is a whole number in lo..hi. Numbers beyond the field's
// width are refused rather than cut to it, so no value ever lands as another number.
template <typename Field>
bool storeInt(const char* value, long long lo, long long hi, Field* field) {
    long long n;
    if (!intInRange(value, lo, hi, &n))
        return false;
    *field = Field(n);
    return true;
}

// 1 or more, kept in 16 bits (the transfer-file header and the sync header carry 16).
bool storeLow16(const char* value, uint16_t* field) {
    long long n = configInteger(value);
    if (n < 1)
        return false;
    *field = uint16_t(n & 0xFFFF);
    return true;
}

// A multiple of 4 in 0..hi.
bool storeStep4(const char* value, long long hi, uint32_t* field) {
    return configInteger(value) % 4 == 0 && storeInt(value, 0, hi, field);
}

// Real values are kept in single precision; one that is not a finite number there (an
// "inf", or too large) is refused with the rest.
bool storeReal(const char* value, double lo, double hi, float* field) {
    double d = configReal(value);
    float f = float(d);
    if (!(d >= lo && d <= hi) || !std::isfinite(f))
        return false;
    *field = f;
    return true;
}
bool storePositive(const char* value, float* field) {
    float f = 0;
    if (!storeReal(value, 0.0, HUGE_VAL, &f) || !(f > 0))
        return false;
    *field = f;
    return true;
}

bool storeSerial(const char* value, char* field) {
    std::strncpy(field, value, 15);
    field[15] = '\0';
    return true;
}

std::string textOf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string textOf(const char* format, ...) {
    char buffer[64];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}
std::string unsignedText(long long value) {
    return textOf("%u", unsigned(value));
}

// The serial number line of the record's own camera. An empty serial gets no line: it would
// be read back as the last word of the description.
std::string serialText(const cameraParams* p, int32_t role, const char* serial) {
    if (p->cameraId != role)
        return std::string();
    return std::string(serial, strnlen(serial, 16));
}

struct paramKey {
    const char* name;
    const char* description;
    // Stores a valid value; false for an invalid one.
    bool (*read)(cameraParams* p, const char* value);
    // The value text; empty when the key gets no line.
    std::string (*write)(const cameraParams* p);
};

// Every key of the camera parameter file, in the order the writer emits them.
const paramKey PARAM_KEYS[] = {
    {"camera_id", "role of the computer [ \"CAM_A\" , \"CAM_B\" , \"KIV\" ]",
     [](cameraParams* p, const char* v) {
         if (std::strcmp(v, "CAM_A") != 0 && std::strcmp(v, "CAM_B") != 0)
             return false;
         p->cameraId = std::strcmp(v, "CAM_A") == 0 ? CAM_A : CAM_B;
         return true;
     },
     [](const cameraParams* p) {
         return std::string(p->cameraId == CAM_A   ? "CAM_A"
                            : p->cameraId == CAM_B ? "CAM_B"
                                                   : "KIV");
     }},
    {"cam_a_sn", "Serial number camera A",
     [](cameraParams* p, const char* v) { return storeSerial(v, p->camASerial); },
     [](const cameraParams* p) { return serialText(p, CAM_A, p->camASerial); }},
    {"cam_b_sn", "Serial number camera B",
     [](cameraParams* p, const char* v) { return storeSerial(v, p->camBSerial); },
     [](const cameraParams* p) { return serialText(p, CAM_B, p->camBSerial); }},
    {"operation_mode", "( 0=AUTO, 1=NORMALISATION, 2=MEASUREMENT, 3=LIVEVIDEO )",
     [](cameraParams* p, const char* v) {
         // AUTO is taken as NORMALISATION.
         if (!storeInt(v, OPMODE_AUTO, OPMODE_LIVEVIDEO, &p->operationMode))
             return false;
         if (p->operationMode == OPMODE_AUTO)
             p->operationMode = OPMODE_NORMALISATION;
         return true;
     },
     [](const cameraParams* p) { return unsignedText(p->operationMode); }},
    {"norm_video_mode", "default video normalisation mode ( 0 == off, 1, 2 )",
     [](cameraParams* p, const char* v) { return storeInt(v, 0, 2, &p->normVideoMode); },
     [](const cameraParams* p) { return unsignedText(p->normVideoMode); }},
    {"next_sync_id", "next synchronisation id ( only used in MEASUREMENT mode )",
     // Kept in 16 bits; all ones there is "none", never an id.
     [](cameraParams* p, const char* v) {
         long long n = configInteger(v);
         if ((n & 0xFFFF) == 0xFFFF)
             return false;
         p->nextSyncId = uint16_t(n & 0xFFFF);
         return true;
     },
     [](const cameraParams* p) { return unsignedText(p->nextSyncId); }},
    {"calibration_mode", "use calibration mode instead of regular operation ( 0 = off, 1 = yes )",
     // Judged on the low 8 bits of the number, as the camera computers judge it.
     [](cameraParams* p, const char* v) {
         long long mode = configInteger(v) & 0xFF;
         p->calibrationMode = mode == 1 ? 1 : 0;
         return mode <= 1;
     },
     [](const cameraParams* p) { return unsignedText(p->calibrationMode); }},
    {"left", "left edge of the capture window ( == gate1 )",
     [](cameraParams* p, const char* v) { return storeStep4(v, 1020, &p->left); },
     [](const cameraParams* p) { return unsignedText(p->left); }},
    {"width", "width of the capture window ( left + width == gate2 )",
     [](cameraParams* p, const char* v) { return storeStep4(v, 1020, &p->width); },
     [](const cameraParams* p) { return unsignedText(p->width); }},
    {"top", "first line of capture window to include ( just use 0 !! )",
     [](cameraParams* p, const char* v) { return storeStep4(v, 2044, &p->top); },
     [](const cameraParams* p) { return unsignedText(p->top); }},
    {"height", "vertical size of capture window = top + height",
     [](cameraParams* p, const char* v) { return storeInt(v, 101, 2047, &p->height); },
     [](const cameraParams* p) { return unsignedText(p->height); }},
    {"bits_per_pixel", "ccd - chip specific setting ( == 8 for the line-scan camera )",
     [](cameraParams* p, const char* v) { return storeInt(v, 8, 8, &p->bitsPerPixel); },
     [](const cameraParams* p) { return unsignedText(p->bitsPerPixel); }},
    {"rle_threshold", "threshold for runlength - encoding [ 0 , 255 ]",
     [](cameraParams* p, const char* v) { return storeInt(v, 1, 255, &p->threshold); },
     [](const cameraParams* p) { return unsignedText(p->threshold); }},
    {"calibration_rle_threshold",
     "threshold for runlength - encoding during calibration [ 0 , 255 ]",
     [](cameraParams* p, const char* v) { return storeInt(v, 1, 255, &p->calibrationThreshold); },
     [](const cameraParams* p) { return unsignedText(p->calibrationThreshold); }},
    {"min_rle_length", "shorter RLE segments will be discarded [ 1, 2, 3 px ]",
     [](cameraParams* p, const char* v) { return storeInt(v, 1, 3, &p->minRleLength); },
     [](const cameraParams* p) { return unsignedText(p->minRleLength); }},
    {"rle_encoding", "encoding direction ( 1 == shadow, 0 == light )",
     [](cameraParams* p, const char* v) { return storeInt(v, 0, 1, &p->rleEncoding); },
     [](const cameraParams* p) { return unsignedText(p->rleEncoding); }},
    {"rle_avg_segments", "average maximum number of RLE segments per line",
     [](cameraParams* p, const char* v) { return storeInt(v, 8, 64, &p->rleAvgSegments); },
     [](const cameraParams* p) { return unsignedText(p->rleAvgSegments); }},
    {"linetrigger_level", "switching voltage for the linetrigger [mV]",
     [](cameraParams* p, const char* v) { return storeInt(v, 2500, 12000, &p->lineTriggerLevel); },
     [](const cameraParams* p) { return unsignedText(p->lineTriggerLevel); }},
    {"snap_label_interval", "timing interval for the snap queue real-time stamp [ uS ]",
     [](cameraParams* p, const char* v) {
         long long us;
         if (!intInRange(v, 1, UINT32_MAX, &us))
             return false;
         p->snapLabelSeconds = uint32_t(us / 1000000);
         p->snapLabelMicroseconds = uint32_t(us % 1000000);
         return true;
     },
     [](const cameraParams* p) {
         return textOf("%llu", (unsigned long long)p->snapLabelSeconds * 1000000ULL +
                                   p->snapLabelMicroseconds);
     }},
    {"max_video_level", "maximum video level ( 0 == auto; recommended )",
     [](cameraParams* p, const char* v) { return storeInt(v, 1, 255, &p->maxVideoLevel); },
     [](const cameraParams* p) { return unsignedText(p->maxVideoLevel); }},
    {"norm_video_level", "norm video level prior to RL encoding [ 0, 255 ]",
     [](cameraParams* p, const char* v) { return storeInt(v, 1, 255, &p->normVideoLevel); },
     [](const cameraParams* p) { return unsignedText(p->normVideoLevel); }},
    {"min_video_level", "minimum video level ( 0 == auto; recommended )",
     [](cameraParams* p, const char* v) { return storeInt(v, 1, 255, &p->minVideoLevel); },
     [](const cameraParams* p) { return unsignedText(p->minVideoLevel); }},
    {"su_serialnr", "serial number of the sensor unit (SU)",
     [](cameraParams* p, const char* v) { return storeLow16(v, &p->suSerialNr); },
     [](const cameraParams* p) { return unsignedText(p->suSerialNr); }},
    {"software_version", "revision / version of the software",
     [](cameraParams* p, const char* v) { return storeLow16(v, &p->softwareVersion); },
     [](const cameraParams* p) { return unsignedText(p->softwareVersion); }},
    {"plane_back_left", "distance between optical paths A <-> B back left   [ mm ]",
     [](cameraParams* p, const char* v) { return storeReal(v, 4.0, 8.0, &p->planeBackLeft); },
     [](const cameraParams* p) { return textOf("%8.4f", double(p->planeBackLeft)); }},
    {"plane_back_right", "distance between optical paths A <-> B back right  [ mm ]",
     [](cameraParams* p, const char* v) { return storeReal(v, 4.0, 8.0, &p->planeBackRight); },
     [](const cameraParams* p) { return textOf("%8.4f", double(p->planeBackRight)); }},
    {"plane_front_right", "distance between optical paths A <-> B front right [ mm ]",
     [](cameraParams* p, const char* v) { return storeReal(v, 4.0, 8.0, &p->planeFrontRight); },
     [](const cameraParams* p) { return textOf("%8.4f", double(p->planeFrontRight)); }},
    {"line_frequency", "linetrigger frequency [ Hz ]",
     [](cameraParams* p, const char* v) {
         float f;
         if (!storePositive(v, &f))
             return false;
         p->lineFrequency = f;
         return true;
     },
     [](const cameraParams* p) { return textOf("%16.2f", p->lineFrequency); }},
    {"xscale_a", "camera A : horizontal scale factor [ mm / pixel ]",
     [](cameraParams* p, const char* v) { return storePositive(v, &p->camA.xscale); },
     [](const cameraParams* p) { return textOf("%10.6f", double(p->camA.xscale)); }},
    {"xscale_b", "camera B : horizontal scale factor [ mm / pixel ]",
     [](cameraParams* p, const char* v) { return storePositive(v, &p->camB.xscale); },
     [](const cameraParams* p) { return textOf("%10.6f", double(p->camB.xscale)); }},
    {"distance_a", "camera A : optical distance [ mm ]",
     [](cameraParams* p, const char* v) { return storePositive(v, &p->camA.distance); },
     [](const cameraParams* p) { return textOf("%12.4f", double(p->camA.distance)); }},
    {"distance_b", "camera B : optical distance [ mm ]",
     [](cameraParams* p, const char* v) { return storePositive(v, &p->camB.distance); },
     [](const cameraParams* p) { return textOf("%12.4f", double(p->camB.distance)); }},
    {"gain_a", "camera A : analog CCD gain [ 0 == default, 1, 2, 3 ]",
     [](cameraParams* p, const char* v) { return storeInt(v, 0, 4, &p->camA.gain); },
     [](const cameraParams* p) { return unsignedText(p->camA.gain); }},
    {"gain_b", "camera B : analog CCD gain [ 0 == default, 1, 2, 3 ]",
     [](cameraParams* p, const char* v) { return storeInt(v, 0, 4, &p->camB.gain); },
     [](const cameraParams* p) { return unsignedText(p->camB.gain); }},
    {"exposure_a", "camera A : exposure time [ uS ]",
     [](cameraParams* p, const char* v) { return storeInt(v, 0, 100, &p->camA.exposure); },
     [](const cameraParams* p) { return unsignedText(p->camA.exposure); }},
    {"exposure_b", "camera B : exposure time [ uS ]",
     [](cameraParams* p, const char* v) { return storeInt(v, 0, 100, &p->camB.exposure); },
     [](const cameraParams* p) { return unsignedText(p->camB.exposure); }},
    {"offset_a", "camera A : video offset [ -127, +127 ] ( 0 == default )",
     [](cameraParams* p, const char* v) { return storeInt(v, -127, 127, &p->camA.offset); },
     [](const cameraParams* p) { return textOf("%i", p->camA.offset); }},
    {"offset_b", "camera B : video offset [ -127, +127 ] ( 0 == default )",
     [](cameraParams* p, const char* v) { return storeInt(v, -127, 127, &p->camB.offset); },
     [](const cameraParams* p) { return textOf("%i", p->camB.offset); }},
};

const paramKey* findParamKey(const configEntry& entry) {
    for (const paramKey& key : PARAM_KEYS)
        if (matchConfigKey(&entry, key.name) == 0)
            return &key;
    return nullptr;
}

} // namespace

int resetCameraParams(cameraParams* params) {
    if (!params)
        return -1;
    // Zero first, so that padding and the serial numbers' tails are defined too: the record
    // is copied and stored as a whole.
    std::memset(params, 0, sizeof *params);
    for (int32_t& word : params->reserved)
        word = -1;
    params->commitState = -1;
    params->commitTime = 0;
    params->cameraId = CAM_KIV;
    params->operationMode = OPMODE_AUTO;
    params->normVideoMode = 2;
    params->calibrationMode = 0;
    params->nextSyncId = 65535;
    params->top = 0;
    params->left = 0;
    params->height = 1536;
    params->width = 632;
    params->bitsPerPixel = 8;
    params->calibrationThreshold = 100;
    params->threshold = 100;
    params->minRleLength = 1;
    params->rleEncoding = 1;
    params->rleAvgSegments = 16;
    params->lineTriggerLevel = 5000;
    params->snapLabelSeconds = 0;
    params->snapLabelMicroseconds = 15;
    params->maxVideoLevel = 0;
    params->normVideoLevel = 200;
    params->minVideoLevel = 0;
    params->windowCentre = 0;
    params->softwareVersion = 900;
    params->suSerialNr = 25;
    params->planeBackLeft = 6.0f;
    params->planeBackRight = 6.0f;
    params->planeFrontRight = 6.0f;
    params->lineFrequency = 55172.0;
    resetCameraBlock(&params->camA);
    resetCameraBlock(&params->camB);
    resetCameraBlock(&params->current);
    std::strcpy(params->camASerial, DEFAULT_SERIAL);
    std::strcpy(params->camBSerial, DEFAULT_SERIAL);
    return 0;
}

int presetCameraSettingsFromConfFile(cameraParams* params, const char* path) {
    if (!params || !path)
        return -1;
    FILE* file = openConfigFile(QFile::decodeName(path));
    if (!file)
        return -1;
    configList list;
    if (createConfigList(&list) != 0 || readConfigList(&list, file) != 0) {
        destroyConfigList(&list);
        std::fclose(file);
        return -1;
    }
    if (!list.m_entries.empty())
        params->commitState = -1;
    for (const configEntry& entry : list.m_entries) {
        const paramKey* key = findParamKey(entry);
        if (key && !key->read(params, entry.m_value.c_str()))
            reportInvalidCombination("presetCameraSettingsFromConfFile", entry.m_key.c_str(),
                                     entry.m_value.c_str());
    }
    destroyConfigList(&list);
    std::fclose(file);
    return 0;
}

int writeCameraParams(FILE* stream, const cameraParams* params) {
    if (!stream || !params)
        return -1;
    for (const paramKey& key : PARAM_KEYS) {
        std::string value = key.write(params);
        if (value.empty())
            continue;
        if (std::fprintf(stream, "%30s %60s %-30s\n", key.name, key.description, value.c_str()) < 0)
            return -1;
    }
    // A parameter file that did not reach the stream completely must not count as written.
    if (std::fflush(stream) != 0 || std::ferror(stream))
        return -1;
    return 0;
}

uint8_t minimumVideoLevel(const cameraParams* params) {
    if (!params || params->normVideoLevel == 0)
        return 0;
    long long offset = 0;
    if (params->cameraId == CAM_A)
        offset = params->camA.offset;
    else if (params->cameraId == CAM_B)
        offset = params->camB.offset;
    if (offset > 0)
        return 0;
    // Offsets from a transfer-file header are not range-checked: hold the level to a byte.
    return uint8_t(-offset > 255 ? 255 : -offset);
}

int commitCameraSettingsPreset(cameraParams* params, int32_t time) {
    if (!params || time < 1)
        return -1;
    if (params->cameraId == CAM_A)
        params->current = params->camA;
    else if (params->cameraId == CAM_B)
        params->current = params->camB;
    // In 64 bits: a window from a damaged header must not wrap round to a small sum.
    if ((long long)params->left + params->width >= SENSOR_PIXELS) {
        const char* self = "commitCameraSettingsPreset";
        logToStandardError(severity::error, errorKind::configuration,
                           QStringLiteral("%1 : error : invalid capture window \n"
                                          "%1 : error : left  : %2\n"
                                          "%1 : error : width : %3\n")
                               .arg(QLatin1String(self))
                               .arg(params->left)
                               .arg(params->width));
        return -1;
    }
    params->windowCentre = uint16_t(params->left + (params->width + 1) / 2);
    if (params->normVideoMode != 0)
        params->minVideoLevel = minimumVideoLevel(params);
    params->commitState = 0;
    params->commitTime = time;
    return 0;
}

namespace {

bool nearlyEqual(double x, double y) {
    return std::fabs(x - y) <= 1e-6;
}

bool compatible(const cameraParams& a, const cameraParams& b) {
    if (a.calibrationMode != b.calibrationMode)
        return false;
    if (a.calibrationMode == 1 && a.calibrationThreshold != b.calibrationThreshold)
        return false;
    if (a.left != b.left || a.width != b.width || a.threshold != b.threshold ||
        a.normVideoLevel != b.normVideoLevel || a.windowCentre != b.windowCentre ||
        a.softwareVersion != b.softwareVersion || a.suSerialNr != b.suSerialNr)
        return false;
    if (!nearlyEqual(a.planeBackLeft, b.planeBackLeft) ||
        !nearlyEqual(a.planeBackRight, b.planeBackRight) ||
        !nearlyEqual(a.planeFrontRight, b.planeFrontRight) ||
        !nearlyEqual(a.lineFrequency, b.lineFrequency))
        return false;
    bool roleA = a.cameraId == CAM_A || a.cameraId == CAM_B;
    bool roleB = b.cameraId == CAM_A || b.cameraId == CAM_B;
    return roleA && roleB && a.cameraId != b.cameraId;
}

} // namespace

int mergeCameraParams(const cameraParams* a, const cameraParams* b, cameraParams* result) {
    if (!a || !b || !result)
        return -1;
    const cameraParams& first = *a;
    const cameraParams& second = *b;
    if (!compatible(first, second))
        return -1;
    // Built aside and stored last: `result` may be one of the two.
    cameraParams defaults;
    resetCameraParams(&defaults);
    cameraParams merged = first;
    std::memcpy(merged.reserved, defaults.reserved, sizeof merged.reserved);
    std::memcpy(merged.reserved2, defaults.reserved2, sizeof merged.reserved2);
    merged.commitState = defaults.commitState;
    merged.commitTime = defaults.commitTime;
    merged.cameraId = CAM_KIV;
    merged.camA = first.cameraId == CAM_A ? first.camA : second.camA;
    merged.camB = first.cameraId == CAM_B ? first.camB : second.camB;
    *result = merged;
    return 0;
}
