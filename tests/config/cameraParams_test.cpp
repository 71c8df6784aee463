#include "config/cameraParams.h"
#include "support/testSupport.h"

#include <QFile>

#include <climits>
#include <cstring>
#include <gtest/gtest.h>

namespace {

cameraParams defaults() {
    cameraParams p;
    resetCameraParams(&p);
    return p;
}

// Reads `text` as a camera parameter file into `params`; returns what went to standard error.
std::string readInto(cameraParams* params, const QByteArray& text, int* result = nullptr) {
    tempStation dir;
    QString path = dir.write("acquire.par", text);
    stderrCapture err;
    int r = presetCameraSettingsFromConfFile(params, QFile::encodeName(path).constData());
    if (result)
        *result = r;
    return err.text();
}

std::string invalid(const char* key, const char* value) {
    return std::string("presetCameraSettingsFromConfFile : error : invalid combination ") + key +
           " : " + value + " -> ignoring \n";
}

std::string written(const cameraParams& p) {
    FILE* f = std::tmpfile();
    EXPECT_EQ(writeCameraParams(f, &p), 0);
    std::string text(size_t(std::ftell(f)), '\0');
    std::rewind(f);
    EXPECT_EQ(std::fread(&text[0], 1, text.size(), f), text.size());
    std::fclose(f);
    return text;
}

} // namespace

TEST(cameraParams, resetSetsEveryDefault) {
    cameraParams p;
    std::memset(&p, 0x5a, sizeof p);
    ASSERT_EQ(resetCameraParams(&p), 0);
    EXPECT_EQ(p.reserved[3], -1);
    EXPECT_EQ(p.commitState, -1);
    EXPECT_EQ(p.nextSyncId, 65535);
    EXPECT_EQ(p.height, 1536);
    EXPECT_EQ(p.reserved2[5], 0);
    EXPECT_EQ(p.snapLabelMicroseconds, 15u);
    EXPECT_EQ(p.normVideoLevel, 200);
    EXPECT_DOUBLE_EQ(p.lineFrequency, 55172.0);
    EXPECT_FLOAT_EQ(p.current.xscale, 0.16f);
    EXPECT_EQ(p.camB.exposure, 14u);
    EXPECT_STREQ(p.camBSerial, "MT000000");
    EXPECT_EQ(resetCameraParams(nullptr), -1);
}

TEST(presetCameraSettings, storesValidValuesAndReportsEachInvalidOne) {
    cameraParams p = defaults();
    std::string errors = readInto(&p, "operation_mode 0\n"
                                      "min_video_level 0\nmax_video_level 0\n"
                                      "camera_id KIV\ncamera_id cam_a\n"
                                      "left 1020\nwidth 1022\n"
                                      "snap_label_interval 0\nsnap_label_interval 1500000\n"
                                      "line_frequency 55172.123\n"
                                      "calibration_mode 1\nunknown_key 5\ncalibration_mode 2\n"
                                      "cam_a_sn ABCDEFGHIJKLMNOPQRS\n");
    EXPECT_EQ(errors, invalid("min_video_level", "0") + invalid("max_video_level", "0") +
                          invalid("camera_id", "KIV") + invalid("camera_id", "cam_a") +
                          invalid("width", "1022") + invalid("snap_label_interval", "0") +
                          invalid("calibration_mode", "2"));
    EXPECT_EQ(p.operationMode, OPMODE_NORMALISATION);
    EXPECT_EQ(p.minVideoLevel, 0);
    EXPECT_EQ(p.cameraId, CAM_KIV);
    EXPECT_EQ(p.left, 1020u);
    EXPECT_EQ(p.width, 632u);
    EXPECT_EQ(p.snapLabelSeconds, 1u);
    EXPECT_EQ(p.snapLabelMicroseconds, 500000u);
    EXPECT_EQ(p.lineFrequency, double(55172.123f));
    EXPECT_EQ(p.calibrationMode, 0) << "an invalid calibration mode switches it off";
    EXPECT_STREQ(p.camASerial, "ABCDEFGHIJKLMNO");
}

TEST(presetCameraSettings, sixteenAndEightBitFieldsJudgeTheLowBits) {
    cameraParams p = defaults();
    std::string errors = readInto(&p, "su_serialnr 65537\nsoftware_version 65535\n"
                                      "next_sync_id 65535\nnext_sync_id 131071\n"
                                      "next_sync_id 65543\ncalibration_mode 257\n");
    EXPECT_EQ(errors, invalid("next_sync_id", "65535") + invalid("next_sync_id", "131071"));
    EXPECT_EQ(p.suSerialNr, 1);
    EXPECT_EQ(p.softwareVersion, 65535);
    EXPECT_EQ(p.nextSyncId, 7);
    EXPECT_EQ(p.calibrationMode, 1);
    errors = readInto(&p, "calibration_mode 258\nsu_serialnr 0\n");
    EXPECT_EQ(errors, invalid("calibration_mode", "258") + invalid("su_serialnr", "0"));
    EXPECT_EQ(p.calibrationMode, 0);
}

TEST(presetCameraSettings, numbersBeyondAnyRangeAndEndlessRealsAreRefused) {
    cameraParams p = defaults();
    std::string errors = readInto(&p, "left 4294967296\n"
                                      "snap_label_interval -1\nxscale_a inf\ndistance_b 1e300\n");
    EXPECT_EQ(errors, invalid("left", "4294967296") + invalid("snap_label_interval", "-1") +
                          invalid("xscale_a", "inf") + invalid("distance_b", "1e300"));
    EXPECT_EQ(p.left, 0u);
    EXPECT_EQ(p.snapLabelMicroseconds, 15u);
    EXPECT_FLOAT_EQ(p.camA.xscale, 0.16f);
}

TEST(presetCameraSettings, laterFilesOverrideAndUnreadableFilesChangeNothing) {
    cameraParams p = defaults();
    p.commitState = 0;
    int result = -1;
    readInto(&p, "# nothing but a comment\n", &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(p.commitState, 0) << "a file without entries keeps the commit";
    readInto(&p, "gain_a 2\nexposure_b 50\n");
    readInto(&p, "gain_a 3\ngain_a 9\n");
    EXPECT_EQ(p.commitState, -1);
    EXPECT_EQ(p.camA.gain, 3u);
    EXPECT_EQ(p.camB.exposure, 50u);

    cameraParams before = p;
    tempStation dir;
    EXPECT_EQ(presetCameraSettingsFromConfFile(&p, "/nonexistent/acquire.par"), -1);
    stderrCapture err;
    EXPECT_EQ(presetCameraSettingsFromConfFile(&p, QFile::encodeName(dir.path()).constData()), -1);
    EXPECT_EQ(std::memcmp(&p, &before, sizeof p), 0);
    EXPECT_EQ(presetCameraSettingsFromConfFile(nullptr, "x"), -1);
}

TEST(writeCameraParams, linesInTheFileFormat) {
    cameraParams p = defaults();
    std::string text = written(p);
    char first[200];
    std::snprintf(first, sizeof first, "%30s %60s %-30s\n", "camera_id",
                  "role of the computer [ \"CAM_A\" , \"CAM_B\" , \"KIV\" ]", "KIV");
    EXPECT_EQ(text.substr(0, std::strlen(first)), first);
    EXPECT_EQ(text.find("_sn "), std::string::npos) << "the station record has no serial line";
    EXPECT_NE(text.find(" 15 "), std::string::npos) << "snap label interval";
    EXPECT_NE(text.find("         55172.00 "), std::string::npos);

    // An empty serial would read back as the last word of its description.
    p.cameraId = CAM_B;
    p.camBSerial[0] = '\0';
    EXPECT_EQ(written(p).find("cam_b_sn"), std::string::npos);

    EXPECT_EQ(writeCameraParams(nullptr, &p), -1);
    EXPECT_EQ(writeCameraParams(stdout, nullptr), -1);
    FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    static char buffer[1 << 16]; // larger than the file: the failure shows only when flushed
    std::setvbuf(full, buffer, _IOFBF, sizeof buffer);
    EXPECT_EQ(writeCameraParams(full, &p), -1) << "a failed write must not count as written";
    std::fclose(full);
}

TEST(writeCameraParams, readingTheWrittenFileReproducesTheRecord) {
    cameraParams p = defaults();
    p.cameraId = CAM_A;
    p.operationMode = OPMODE_MEASUREMENT;
    p.normVideoMode = 1;
    p.nextSyncId = 4711;
    p.calibrationMode = 1;
    p.left = 8;
    p.width = 1000;
    p.top = 4;
    p.height = 101;
    p.calibrationThreshold = 7;
    p.threshold = 255;
    p.minRleLength = 3;
    p.rleEncoding = 0;
    p.rleAvgSegments = 64;
    p.lineTriggerLevel = 12000;
    p.snapLabelSeconds = 4294;
    p.snapLabelMicroseconds = 967295;
    p.maxVideoLevel = 1;
    p.normVideoLevel = 2;
    p.minVideoLevel = 3;
    p.softwareVersion = 1;
    p.suSerialNr = 65535;
    p.planeBackLeft = 4.0f;
    p.planeBackRight = 8.0f;
    p.planeFrontRight = 5.5f;
    p.lineFrequency = 60000.5;
    p.camA = {0.123456f, 700.25f, 4, 100, -127};
    p.camB = {2.5f, 1.5f, 1, 0, 127};
    std::strcpy(p.camASerial, "MT123456789ABCD");

    cameraParams back = defaults();
    EXPECT_EQ(readInto(&back, QByteArray::fromStdString(written(p))), "");
    EXPECT_EQ(std::memcmp(&back, &p, sizeof p), 0);
}

TEST(commitCameraSettings, windowCentreCurrentBlockAndMinimumVideoLevel) {
    cameraParams p = defaults();
    p.cameraId = CAM_B;
    p.camB.exposure = 77;
    p.camB.offset = -20;
    ASSERT_EQ(commitCameraSettingsPreset(&p, 1000), 0);
    EXPECT_EQ(p.windowCentre, 316);
    EXPECT_EQ(p.current.exposure, 77u);
    EXPECT_EQ(p.minVideoLevel, 20);
    EXPECT_EQ(p.commitState, 0);
    EXPECT_EQ(p.commitTime, 1000);
    EXPECT_EQ(commitCameraSettingsPreset(&p, 0), -1);
    EXPECT_EQ(commitCameraSettingsPreset(nullptr, 1), -1);

    p.camB.offset = 5;
    EXPECT_EQ(minimumVideoLevel(&p), 0);
    p.camB.offset = INT32_MIN;
    EXPECT_EQ(minimumVideoLevel(&p), 255);
    p.normVideoLevel = 0;
    EXPECT_EQ(minimumVideoLevel(&p), 0);
}

TEST(commitCameraSettings, refusesAWindowBeyondTheSensor) {
    cameraParams p = defaults();
    p.cameraId = CAM_A;
    p.camA.gain = 3;
    p.left = 4;
    p.width = 1020;
    stderrCapture err;
    EXPECT_EQ(commitCameraSettingsPreset(&p, 5), -1);
    const char* self = "commitCameraSettingsPreset";
    EXPECT_EQ(err.text(), std::string(self) + " : error : invalid capture window \n" + self +
                              " : error : left  : 4\n" + self + " : error : width : 1020\n");
    EXPECT_EQ(p.current.gain, 3u) << "the block is taken before the window is checked";
    EXPECT_EQ(p.commitState, -1);

    p.left = UINT32_MAX; // a sum that wraps to 1019 in 32 bits
    stderrCapture quiet;
    EXPECT_EQ(commitCameraSettingsPreset(&p, 5), -1);
}

TEST(mergeCameraParams, combinesCompatibleCamerasIntoTheStationRecord) {
    cameraParams a = defaults(), b = defaults(), r = defaults();
    a.cameraId = CAM_A;
    b.cameraId = CAM_B;
    a.camA.gain = 1;
    b.camB.gain = 2;
    b.camA.gain = 4;
    a.commitState = b.commitState = 0;
    a.reserved[0] = 9;
    a.calibrationThreshold = 50; // only counts in calibration mode
    ASSERT_EQ(mergeCameraParams(&b, &a, &r), 0);
    EXPECT_EQ(r.cameraId, CAM_KIV);
    EXPECT_EQ(r.camA.gain, 1u);
    EXPECT_EQ(r.camB.gain, 2u);
    EXPECT_EQ(r.commitState, -1);
    EXPECT_EQ(r.reserved[0], -1);

    cameraParams before = r;
    a.calibrationMode = b.calibrationMode = 1;
    EXPECT_EQ(mergeCameraParams(&a, &b, &r), -1);
    a.calibrationThreshold = 100;
    a.lineFrequency += 1e-3;
    EXPECT_EQ(mergeCameraParams(&a, &b, &r), -1);
    a.lineFrequency = b.lineFrequency;
    b.cameraId = CAM_A;
    EXPECT_EQ(mergeCameraParams(&a, &b, &r), -1);
    EXPECT_EQ(std::memcmp(&r, &before, sizeof r), 0);

    // The result may be one of the inputs.
    b.cameraId = CAM_B;
    ASSERT_EQ(mergeCameraParams(&a, &b, &a), 0);
    EXPECT_EQ(a.camA.gain, 1u);
    EXPECT_EQ(a.camB.gain, 2u);
    EXPECT_EQ(a.cameraId, CAM_KIV);
}
