#include "format/datafileReader.h"

#include "config/cameraParams.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// A cmprBuffer that reads `size` bytes in place. The bytes are never written through it: only
// the read operations are used, so the const_cast stays harmless.
cmprBuffer readView(const uint8_t* bytes, int32_t size) {
    cmprBuffer view = cmprBuffer();
    if (size > 0 && bytes) {
        view.m_data = const_cast<uint8_t*>(bytes);
        view.m_readPtr = view.m_data;
        view.m_writePtr = view.m_data + size;
        view.m_capacity = size;
        view.m_writeSize = size;
        view.m_readSize = size;
    }
    return view;
}

std::string number(long long value) {
    return std::to_string(value);
}

std::string hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string decimal(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// A line position or an end position: lines since local midnight, whole and not negative.
bool linePositionValid(double value) {
    return std::isfinite(value) && value >= 0.0 && std::trunc(value) == value;
}

// Walks the datafile front to back, stopping at the first problem.
class datafileParser {
public:
    datafileParser(const uint8_t* bytes, int32_t size, datafileContent* content,
                   datafileProblem* problem)
        : m_bytes(bytes), m_size(size), m_view(readView(bytes, size)), m_content(content),
          m_problem(problem) {}

    bool parse() {
        if (!readSyncHeader())
            return false;
        if (m_size < DATAFILE_MIN_SIZE)
            return fail(m_size, "datafile size",
                        "at least " + number(DATAFILE_MIN_SIZE) +
                            " bytes (sync header, interval block, rain data, reserved words, "
                            "checksum)",
                        number(m_size) + " bytes");
        const int32_t tailStart = m_size - DATAFILE_TAIL_SIZE;
        while (at() < tailStart)
            if (!readEntry(tailStart))
                return false;
        if (!readIntervalBlock() || !readRainData() || !readReserved())
            return false;
        m_content->complete = true;
        if (!m_content->checksumMatches)
            return fail(at(), "checksum",
                        hex32(m_content->computedChecksum) + " (byte sum of bytes 0.." +
                            number(at() - 1) + ")",
                        hex32(m_content->storedChecksum));
        return true;
    }

private:
    // Offset of the read cursor; an empty file has no block, and its cursor stands at 0.
    int32_t at() const { return m_view.m_data ? int32_t(m_view.m_readPtr - m_view.m_data) : 0; }

    bool fail(int64_t offset, const std::string& field, const std::string& expected,
              const std::string& found) {
        m_problem->offset = offset;
        m_problem->field = field;
        m_problem->expected = expected;
        m_problem->found = found;
        return false;
    }

    bool endOfFile(const std::string& field, int32_t width) {
        return fail(at(), field, number(width) + " bytes",
                    number(m_size - at()) + " bytes before the end of the file");
    }

    bool u16(const std::string& field, uint16_t* value) {
        return cmprReadU16(&m_view, value) == 0 || endOfFile(field, 2);
    }
    bool u32(const std::string& field, uint32_t* value) {
        return cmprReadU32(&m_view, value) == 0 || endOfFile(field, 4);
    }
    bool f32(const std::string& field, float* value) {
        return cmprReadF32(&m_view, value) == 0 || endOfFile(field, 4);
    }
    bool f64(const std::string& field, double* value) {
        return cmprReadF64(&m_view, value) == 0 || endOfFile(field, 8);
    }

    bool readSyncHeader() {
        datafileSyncHeader& h = m_content->sync;
        if (!u16("sync header length", &h.headerLength))
            return false;
        if (h.headerLength != SYNC_HEADER_SIZE)
            return fail(0, "sync header length", number(SYNC_HEADER_SIZE), number(h.headerLength));
        if (!u16("sync header software_version", &h.softwareVersion) ||
            !u16("sync header su_serialnr", &h.suSerialNr))
            return false;
        int32_t frequencyAt = at();
        if (!f64("sync header line_frequency", &h.lineFrequency))
            return false;
        if (!std::isfinite(h.lineFrequency) || h.lineFrequency <= 0.0)
            return fail(frequencyAt, "sync header line_frequency", "a positive number of Hz",
                        decimal(h.lineFrequency));
        bool ok = u16("sync header window centre", &h.windowCentre) &&
                  u16("sync header left", &h.windowLeft) &&
                  u16("sync header left + width", &h.windowRight) &&
                  f32("sync header plane_back_left", &h.planeBackLeft) &&
                  f32("sync header plane_back_right", &h.planeBackRight) &&
                  f32("sync header plane_front_right", &h.planeFrontRight) &&
                  f32("sync header xscale_a", &h.xscaleA) &&
                  f32("sync header xscale_b", &h.xscaleB) &&
                  f32("sync header distance_a", &h.distanceA) &&
                  f32("sync header distance_b", &h.distanceB) &&
                  u16("sync header norm_video_level", &h.normVideoLevel) &&
                  u16("sync header rle_threshold", &h.threshold) &&
                  u32("sync header local sync second", &h.localSyncSecond);
        m_content->syncHeaderRead = ok;
        return ok;
    }

    // A day of datafiles holds hundreds of millions of frame entries: an entry is read
    // straight from the bytes, and its name for a problem is made only when there is one.
    bool readEntry(int32_t tailStart) {
        datafileEntry entry;
        entry.offset = at();
        if (tailStart - entry.offset < DATAFILE_ENTRY_HEAD_SIZE)
            return fail(entry.offset, entryName(),
                        number(DATAFILE_ENTRY_HEAD_SIZE) +
                            " header bytes before the interval block at byte " + number(tailStart),
                        number(tailStart - entry.offset) + " bytes");
        const uint8_t* head = m_bytes + entry.offset;
        uint16_t length = 0;
        std::memcpy(&entry.cameraId, head, 2);
        std::memcpy(&length, head + 2, 2);
        std::memcpy(&entry.numLines, head + 4, 2);
        if (entry.cameraId != CAM_A && entry.cameraId != CAM_B)
            return fail(entry.offset, entryName() + " camera", "1 or 2", number(entry.cameraId));
        // The length counts the lines field and the frame data; the data hold at least the
        // header word, the line position and one payload byte.
        entry.dataOffset = entry.offset + DATAFILE_ENTRY_HEAD_SIZE;
        entry.dataLength = int32_t(length) - 2;
        const int32_t room = tailStart - entry.dataOffset;
        if (entry.dataLength < FRAME_DATA_HEAD_SIZE + 1)
            return fail(entry.offset + 2, entryName() + " length",
                        "at least " + number(FRAME_DATA_HEAD_SIZE + 3), number(length));
        if (entry.dataLength > room)
            return fail(entry.offset + 2, entryName() + " length",
                        "at most " + number(room + 2) + " (up to the interval block at byte " +
                            number(tailStart) + ")",
                        number(length));
        if (entry.numLines > RLE_MAX_LINES)
            return fail(entry.offset + 4, entryName() + " lines",
                        "at most " + number(RLE_MAX_LINES), number(entry.numLines));
        uint32_t word = 0;
        std::memcpy(&word, m_bytes + entry.dataOffset, sizeof word);
        resetRleFrameHeader(&entry.header);
        if (unpackRleHeaderWord(word, &entry.header) != 0)
            return fail(entry.dataOffset, entryName() + " header word", "code widths of 2..15 bits",
                        "light " + number(word >> 28) + ", shadow " + number((word >> 24) & 15));
        if (entry.header.compressedSize != uint32_t(entry.dataLength) + 4)
            return fail(entry.dataOffset, entryName() + " header word",
                        "compressed size " + number(entry.dataLength + 4) + " (entry length + 2)",
                        number(entry.header.compressedSize));
        entry.header.numLines = entry.numLines;
        std::memcpy(&entry.linePosition, m_bytes + entry.dataOffset + 4, sizeof(double));
        if (!linePositionValid(entry.linePosition))
            return fail(entry.dataOffset + 4, entryName() + " line position",
                        "a whole number of lines, not negative", decimal(entry.linePosition));
        cmprSkip(&m_view, DATAFILE_ENTRY_HEAD_SIZE + entry.dataLength);
        m_content->entries.push_back(entry);
        return true;
    }

    std::string entryName() const {
        return "frame entry " + number(int64_t(m_content->entries.size()));
    }

    bool readIntervalBlock() {
        int32_t start = at();
        if (!f64("interval block end A", &m_content->endA) ||
            !f64("interval block end B", &m_content->endB))
            return false;
        if (!linePositionValid(m_content->endA))
            return fail(start, "interval block end A", "a whole number of lines, not negative",
                        decimal(m_content->endA));
        if (!linePositionValid(m_content->endB))
            return fail(start + 8, "interval block end B", "a whole number of lines, not negative",
                        decimal(m_content->endB));
        for (double& value : m_content->intervalRest)
            if (!f64("interval block", &value))
                return false;
        return true;
    }

    bool readRainData() {
        if (m_size - at() < RAIN_DATA_SIZE)
            return endOfFile("rain data", RAIN_DATA_SIZE);
        m_content->rainData.assign(m_view.m_readPtr, m_view.m_readPtr + RAIN_DATA_SIZE);
        cmprSkip(&m_view, RAIN_DATA_SIZE);
        return true;
    }

    bool readReserved() {
        uint16_t s0 = 0;
        uint16_t s1 = 0;
        bool ok = u16("reserved word 0", &m_content->reserved[0]) &&
                  u16("reserved word 1", &m_content->reserved[1]) && u16("reserved word 2", &s0) &&
                  u16("reserved word 3", &s1);
        m_content->reservedSigned[0] = int16_t(s0);
        m_content->reservedSigned[1] = int16_t(s1);
        return ok;
    }

    const uint8_t* m_bytes;
    int32_t m_size;
    cmprBuffer m_view;
    datafileContent* m_content;
    datafileProblem* m_problem;
};

void clearContent(datafileContent* content) {
    content->syncHeaderRead = false;
    std::memset(&content->sync, 0, sizeof content->sync);
    content->entries.clear();
    content->complete = false;
    content->endA = 0.0;
    content->endB = 0.0;
    for (double& value : content->intervalRest)
        value = 0.0;
    content->rainData.clear();
    content->reserved[0] = content->reserved[1] = 0;
    content->reservedSigned[0] = content->reservedSigned[1] = 0;
    content->checksumPresent = false;
    content->storedChecksum = 0;
    content->computedChecksum = 0;
    content->checksumMatches = false;
}

} // namespace

std::string describeProblem(const datafileProblem& problem) {
    if (problem.offset < 0)
        return std::string();
    return "at byte " + number(problem.offset) + ": " + problem.field + ": expected " +
           problem.expected + ", found " + problem.found;
}

bool readDatafile(const uint8_t* bytes, size_t size, datafileContent* content,
                  datafileProblem* problem) {
    if (!content || !problem)
        return false;
    clearContent(content);
    *problem = datafileProblem{-1, std::string(), std::string(), std::string()};
    if (!bytes)
        size = 0;
    // The writer assembles every datafile in one buffer of at most this size.
    if (size > size_t(DATAFILE_MAX_SIZE)) {
        problem->offset = DATAFILE_MAX_SIZE;
        problem->field = "datafile size";
        problem->expected = "at most " + number(DATAFILE_MAX_SIZE) + " bytes";
        problem->found = number((long long)size) + " bytes";
        return false;
    }
    if (size >= size_t(DATAFILE_CHECKSUM_SIZE)) {
        size_t summed = size - DATAFILE_CHECKSUM_SIZE;
        uint32_t sum = 0;
        for (size_t i = 0; i < summed; ++i)
            sum += bytes[i];
        content->checksumPresent = true;
        content->computedChecksum = sum;
        std::memcpy(&content->storedChecksum, bytes + summed, DATAFILE_CHECKSUM_SIZE);
        content->checksumMatches = sum == content->storedChecksum;
    }
    datafileParser parser(bytes, int32_t(size), content, problem);
    return parser.parse();
}

int decodeDatafileEntry(const uint8_t* bytes, size_t size, const datafileEntry& entry,
                        std::vector<shadowLine>* lines) {
    if (!lines)
        return -1;
    lines->clear();
    if (!bytes || size > size_t(DATAFILE_MAX_SIZE) || entry.dataOffset < 0 ||
        entry.dataLength <= FRAME_DATA_HEAD_SIZE ||
        int64_t(entry.dataOffset) + entry.dataLength > int64_t(size))
        return -1;
    cmprBuffer view = readView(bytes + entry.dataOffset, entry.dataLength);
    rleFrameHeader header;
    resetRleFrameHeader(&header);
    double position = 0.0;
    if (readRleHeaderWord(&view, &header) != 0 || cmprReadF64(&view, &position) != 0)
        return -1;
    header.numLines = entry.numLines;
    return decodeRlePayload(&view, &header, lines);
}

int64_t datafileLocalSecond(const QString& name) {
    // Eight digits, a point, three digits.
    if (name.size() != 12 || name[8] != QLatin1Char('.'))
        return -1;
    int64_t value = 0;
    for (int i = 0; i < 12; ++i) {
        if (i == 8)
            continue;
        QChar c = name[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}
