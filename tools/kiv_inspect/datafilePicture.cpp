#include "kiv_inspect/datafilePicture.h"

#include "kiv_inspect/captionFont.h"
#include "kiv_inspect/datafileCheck.h"
#include "kiv_inspect/datafileSummary.h"
#include "kiv_inspect/inputFile.h"
#include "kiv_inspect/inspectTime.h"

#include <algorithm>

namespace {

// A capture window of the station's default width, for headers without a usable one.
const int DEFAULT_WINDOW = 632;

int windowOf(const datafileContent& c) {
    if (!c.syncHeaderRead || c.sync.windowRight <= c.sync.windowLeft)
        return DEFAULT_WINDOW;
    return std::min(int(c.sync.windowRight) - int(c.sync.windowLeft), PICTURE_MAX_WINDOW);
}

QString timeCaption(const datafileVerdict& v) {
    return v.intervalSecond >= 0
               ? QStringLiteral("%1 LOCAL (%2 UTC)")
                     .arg(clockText(v.intervalSecond), clockText(utcOfLocal(v.intervalSecond)))
               : v.name;
}

QString captionOf(const datafileVerdict& v) {
    QString text = timeCaption(v);
    for (int camera = 1; camera <= 2; ++camera) {
        cameraTally t = tallyCamera(v.content, camera);
        text += QStringLiteral("   %1: %2, %3")
                    .arg(camera == 1 ? QLatin1Char('A') : QLatin1Char('B'))
                    .arg(plural(t.frames, "frame", "frames"), plural(t.lines, "line", "lines"));
    }
    return text;
}

QString scaleCaption(int64_t linesPerRow) {
    return QStringLiteral("   SCALED: 1 ROW = %1 LINES, GREY = SHARE OF THEM IN SHADOW")
        .arg(linesPerRow);
}

// What the first pass learns of a file.
struct fileMeasure {
    bool read = false;
    QString caption;
    int window = DEFAULT_WINDOW;
    int64_t lines[2] = {0, 0};
};

bool readFile(const QString& path, QByteArray* bytes, QStringList* problems) {
    QString error;
    if (readInputFile(path, DATAFILE_BUFFER_SIZE, bytes, &error))
        return true;
    *problems << error;
    return false;
}

// Rows that lines of `measures` take at `linesPerRow`, with per-file captions or one on top.
int64_t rowsAt(const std::vector<fileMeasure>& measures, int64_t linesPerRow, bool fileCaptions) {
    if (!fileCaptions) {
        int64_t total[2] = {0, 0};
        for (const fileMeasure& m : measures)
            for (int c = 0; c < 2; ++c)
                total[c] += m.lines[c];
        int64_t lines = std::max(total[0], total[1]);
        return PICTURE_CAPTION_HEIGHT + (lines + linesPerRow - 1) / linesPerRow;
    }
    int64_t rows = 0;
    for (const fileMeasure& m : measures)
        if (m.read)
            rows += PICTURE_CAPTION_HEIGHT +
                    (std::max(m.lines[0], m.lines[1]) + linesPerRow - 1) / linesPerRow;
    return rows;
}

// The fewest lines per row that fit PICTURE_MAX_ROWS; rowsAt falls as linesPerRow grows.
int64_t fittingScale(const std::vector<fileMeasure>& measures, bool fileCaptions) {
    if (rowsAt(measures, 1, fileCaptions) <= PICTURE_MAX_ROWS)
        return 1;
    int64_t fits = int64_t(1) << 40;
    int64_t fails = 1;
    while (fits - fails > 1) {
        int64_t middle = fails + (fits - fails) / 2;
        (rowsAt(measures, middle, fileCaptions) <= PICTURE_MAX_ROWS ? fits : fails) = middle;
    }
    return fits;
}

// Gathers one camera's lines into rows of `linesPerRow` lines and draws each full row: light,
// shadow, or the shade of the share of its lines in shadow.
class rowPainter {
public:
    rowPainter(raster* image, int left, int window, int64_t linesPerRow)
        : m_image(image), m_left(left), m_window(window), m_linesPerRow(linesPerRow),
          m_counts(size_t(window) + 1, 0) {}

    void add(const shadowLine& line) {
        for (const shadowSegment& s : line) {
            if (s.start >= m_window)
                break;
            ++m_counts[s.start];
            --m_counts[std::min(int(s.start) + int(s.length), m_window)];
        }
        if (++m_lines == m_linesPerRow)
            flush();
    }
    // Draws a row of fewer lines (the end of a file or of the picture) and moves on.
    void flush() {
        if (m_lines == 0)
            return;
        if (m_top < m_image->height()) {
            uint8_t* row = m_image->row(m_top) + m_left;
            int64_t shadowed = 0;
            for (int x = 0; x < m_window; ++x) {
                shadowed += m_counts[size_t(x)];
                row[x] = colourOf(shadowed, m_lines);
            }
        }
        std::fill(m_counts.begin(), m_counts.end(), 0);
        m_lines = 0;
        ++m_top;
    }
    int top() const { return m_top; }
    void moveTo(int top) { m_top = top; }

private:
    static uint8_t colourOf(int64_t shadowed, int64_t lines) {
        if (shadowed <= 0)
            return PICTURE_LIGHT;
        if (shadowed >= lines)
            return PICTURE_SHADOW;
        // Partly shadowed pixels take one of the shades, never plain light.
        return uint8_t(PICTURE_FIRST_SHADE + shadowed * (PICTURE_SHADES - 1) / lines);
    }

    raster* m_image;
    int m_left;
    int m_window;
    int64_t m_linesPerRow;
    std::vector<int64_t> m_counts; // difference of shadowed lines from pixel to pixel
    int64_t m_lines = 0;
    int m_top = 0;
};

raster blankPicture(int width, int height) {
    raster image(width, height, PICTURE_NO_LINE);
    image.palette = {{255, 255, 255}, {0, 0, 0},    {128, 128, 128},
                     {224, 224, 224}, {47, 62, 78}, {240, 240, 240}};
    for (int i = 0; i < PICTURE_SHADES; ++i) {
        uint8_t level = uint8_t(235 - i * 215 / (PICTURE_SHADES - 1));
        image.palette.push_back({level, level, level});
    }
    return image;
}

void drawCaptionBar(raster* image, int top, const QString& text) {
    image->fillRect(0, top, image->width(), PICTURE_CAPTION_HEIGHT, PICTURE_CAPTION);
    drawCaption(image, 3, top + 2, text, PICTURE_CAPTION_TEXT);
}

} // namespace

datafilePicture drawDatafiles(const QStringList& paths, QStringList* problems) {
    datafilePicture picture;
    std::vector<fileMeasure> measures(size_t(paths.size()));
    int window = 0;
    QString first, last;
    for (int i = 0; i < paths.size(); ++i) {
        QByteArray bytes;
        fileMeasure& m = measures[size_t(i)];
        if (!readFile(paths[i], &bytes, problems))
            continue;
        datafileVerdict v = checkDatafile(baseName(paths[i]), bytes);
        for (const inspectProblem& p : v.problems)
            *problems << QStringLiteral("%1: %2").arg(v.name, problemText(p));
        m.read = true;
        m.caption = captionOf(v);
        m.window = windowOf(v.content);
        for (int c = 0; c < 2; ++c)
            m.lines[c] = tallyCamera(v.content, c + 1).lines;
        window = std::max(window, m.window);
        if (first.isEmpty())
            first = timeCaption(v);
        last = timeCaption(v);
    }
    if (window == 0)
        return picture;
    int files = int(std::count_if(measures.begin(), measures.end(),
                                  [](const fileMeasure& m) { return m.read; }));
    picture.fileCaptions = int64_t(files) * PICTURE_CAPTION_HEIGHT <= PICTURE_MAX_ROWS / 2;
    picture.linesPerRow = fittingScale(measures, picture.fileCaptions);
    int height = int(rowsAt(measures, picture.linesPerRow, picture.fileCaptions));
    const int rightPanel = window + PICTURE_SEPARATOR_WIDTH;
    picture.image = blankPicture(2 * window + PICTURE_SEPARATOR_WIDTH, height);
    raster& image = picture.image;
    if (image.isNull()) {
        *problems << QStringLiteral("no memory for a picture of %1 x %2 pixels")
                         .arg(2 * window + PICTURE_SEPARATOR_WIDTH)
                         .arg(height);
        return picture;
    }
    const QString scaled = picture.linesPerRow > 1 ? scaleCaption(picture.linesPerRow) : QString();
    if (!picture.fileCaptions)
        drawCaptionBar(&image, 0,
                       QStringLiteral("%1 DATAFILES, %2 .. %3").arg(files).arg(first, last) +
                           scaled);
    rowPainter painters[2] = {rowPainter(&image, 0, window, picture.linesPerRow),
                              rowPainter(&image, rightPanel, window, picture.linesPerRow)};
    int top = picture.fileCaptions ? 0 : PICTURE_CAPTION_HEIGHT;
    for (rowPainter& p : painters)
        p.moveTo(top);
    std::vector<shadowLine> lines;
    for (int i = 0; i < paths.size(); ++i) {
        const fileMeasure& m = measures[size_t(i)];
        QByteArray bytes;
        if (!m.read || !readFile(paths[i], &bytes, problems))
            continue;
        int64_t rows =
            (std::max(m.lines[0], m.lines[1]) + picture.linesPerRow - 1) / picture.linesPerRow;
        if (picture.fileCaptions) {
            drawCaptionBar(&image, top, m.caption + scaled);
            top += PICTURE_CAPTION_HEIGHT;
            for (rowPainter& p : painters)
                p.moveTo(top);
        }
        if (picture.fileCaptions)
            image.fillRect(window, top, PICTURE_SEPARATOR_WIDTH, int(rows), PICTURE_SEPARATOR);
        datafileVerdict v = checkDatafile(baseName(paths[i]), bytes);
        for (const datafileEntry& entry : v.content.entries) {
            // Damage was reported by the first pass.
            if (decodeDatafileEntry(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                    size_t(bytes.size()), entry, &lines) != 0)
                continue;
            rowPainter& painter = painters[entry.cameraId == 1 ? 0 : 1];
            for (const shadowLine& line : lines)
                painter.add(line);
        }
        if (picture.fileCaptions) {
            for (rowPainter& p : painters)
                p.flush();
            top += int(rows);
        }
    }
    for (rowPainter& p : painters)
        p.flush();
    if (!picture.fileCaptions)
        image.fillRect(window, PICTURE_CAPTION_HEIGHT, PICTURE_SEPARATOR_WIDTH, height,
                       PICTURE_SEPARATOR);
    return picture;
}
