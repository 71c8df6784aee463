#include "kiv_inspect/datafilePicture.h"

#include "kiv_inspect/captionFont.h"
#include "kiv_inspect/datafileCheck.h"
#include "kiv_inspect/datafileSummary.h"
#include "kiv_inspect/inspectTime.h"

#include <algorithm>

namespace {

// A capture window of the station's default width, for headers without a usable one.
const int DEFAULT_WINDOW = 632;

// One datafile's lines, decoded, per camera.
struct fileLines {
    QString caption;
    int window;
    std::vector<shadowLine> lines[2];
    int64_t rows; // the rows the file takes, also when its lines were not kept
};

int windowOf(const datafileContent& c) {
    if (!c.syncHeaderRead || c.sync.windowRight <= c.sync.windowLeft)
        return DEFAULT_WINDOW;
    return std::min(int(c.sync.windowRight) - int(c.sync.windowLeft), PICTURE_MAX_WINDOW);
}

QString captionOf(const datafileVerdict& v) {
    QString text = v.intervalSecond >= 0 ? QStringLiteral("%1 LOCAL (%2 UTC)")
                                               .arg(clockText(v.intervalSecond),
                                                    clockText(utcOfLocal(v.intervalSecond)))
                                         : v.name;
    for (int camera = 1; camera <= 2; ++camera) {
        cameraTally t = tallyCamera(v.content, camera);
        text += QStringLiteral("   %1: %2, %3")
                    .arg(camera == 1 ? QLatin1Char('A') : QLatin1Char('B'))
                    .arg(plural(t.frames, "frame", "frames"), plural(t.lines, "line", "lines"));
    }
    return text;
}

// Checks the file and decodes its lines; `keep` false only counts them, for files that the
// picture has no room for any more.
fileLines decodeFile(const pictureSource& file, bool keep, QStringList* problems) {
    datafileVerdict v = checkDatafile(file.name, file.bytes);
    for (const inspectProblem& p : v.problems)
        *problems << QStringLiteral("%1: %2").arg(file.name, problemText(p));
    fileLines f;
    f.caption = captionOf(v);
    f.window = windowOf(v.content);
    if (!keep) {
        f.rows = std::max(tallyCamera(v.content, 1).lines, tallyCamera(v.content, 2).lines);
        return f;
    }
    std::vector<shadowLine> lines;
    for (const datafileEntry& entry : v.content.entries) {
        if (decodeDatafileEntry(reinterpret_cast<const uint8_t*>(file.bytes.constData()),
                                size_t(file.bytes.size()), entry, &lines) != 0)
            continue; // reported by the check
        std::vector<shadowLine>& column = f.lines[entry.cameraId == 1 ? 0 : 1];
        column.insert(column.end(), lines.begin(), lines.end());
    }
    f.rows = int64_t(std::max(f.lines[0].size(), f.lines[1].size()));
    return f;
}

QImage blankPicture(int width, int height) {
    QImage image(width, height, QImage::Format_Indexed8);
    if (image.isNull())
        return image;
    image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(128, 128, 128),
                         qRgb(224, 224, 224), qRgb(47, 62, 78), qRgb(240, 240, 240)});
    image.fill(PICTURE_NO_LINE);
    return image;
}

// Draws the rows of one camera from `top` on, at most `rows` of them.
void drawColumn(QImage* image, int left, int window, int top, int rows,
                const std::vector<shadowLine>& lines) {
    int count = std::min(rows, int(lines.size()));
    for (int i = 0; i < count; ++i) {
        uchar* row = image->scanLine(top + i) + left;
        std::fill(row, row + window, uchar(PICTURE_LIGHT));
        for (const shadowSegment& s : lines[size_t(i)]) {
            int end = std::min(int(s.start) + int(s.length), window);
            for (int x = s.start; x < end; ++x)
                row[x] = PICTURE_SHADOW;
        }
    }
}

} // namespace

QImage drawDatafiles(const std::vector<pictureSource>& files, QStringList* problems,
                     int64_t* rowsLeftOut) {
    std::vector<fileLines> decoded;
    int window = 0;
    int64_t rows = 0;
    for (const pictureSource& file : files) {
        decoded.push_back(decodeFile(file, rows < PICTURE_MAX_ROWS, problems));
        window = std::max(window, decoded.back().window);
        rows += PICTURE_CAPTION_HEIGHT + decoded.back().rows;
    }
    if (decoded.empty())
        return QImage();
    int height = int(std::min<int64_t>(rows, PICTURE_MAX_ROWS));
    *rowsLeftOut = rows - height;
    QImage image = blankPicture(2 * window + PICTURE_SEPARATOR_WIDTH, height);
    if (image.isNull()) {
        *problems << QStringLiteral("no memory for a picture of %1 x %2 pixels")
                         .arg(2 * window + PICTURE_SEPARATOR_WIDTH)
                         .arg(height);
        return image;
    }
    const int rightPanel = window + PICTURE_SEPARATOR_WIDTH;
    int top = 0;
    for (const fileLines& f : decoded) {
        if (top >= height)
            break;
        int captionRows = std::min(PICTURE_CAPTION_HEIGHT, height - top);
        for (int y = top; y < top + captionRows; ++y)
            std::fill(image.scanLine(y), image.scanLine(y) + image.width(), uchar(PICTURE_CAPTION));
        drawCaption(&image, 3, top + 2, f.caption, PICTURE_CAPTION_TEXT);
        top += captionRows;
        int rowsHere = int(std::min<int64_t>(f.rows, height - top));
        for (int y = top; y < top + rowsHere; ++y)
            std::fill(image.scanLine(y) + window, image.scanLine(y) + rightPanel,
                      uchar(PICTURE_SEPARATOR));
        drawColumn(&image, 0, f.window, top, rowsHere, f.lines[0]);
        drawColumn(&image, rightPanel, f.window, top, rowsHere, f.lines[1]);
        top += rowsHere;
    }
    return image;
}
