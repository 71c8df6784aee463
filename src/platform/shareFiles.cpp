#include "platform/shareFiles.h"

#include "platform/fileOps.h"
#include "platform/ownFile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The length of the valid UTF-8 sequence at `p` (at most `left` bytes), 0 when there is none;
// `code` receives its code point.
int utf8Sequence(const unsigned char* p, size_t left, uint32_t* code) {
    const unsigned char b = p[0];
    int length;
    uint32_t value;
    uint32_t least;
    if (b < 0x80) {
        *code = b;
        return 1;
    } else if ((b & 0xE0) == 0xC0) {
        length = 2, value = b & 0x1F, least = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        length = 3, value = b & 0x0F, least = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        length = 4, value = b & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (size_t(length) > left)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are no valid text.
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *code = value;
    return length;
}

bool shownAsIs(uint32_t code) {
    return code >= 0x20 && code != 0x7F && !(code >= 0x80 && code < 0xA0) && code != '\\';
}

void appendEscaped(QByteArray* out, unsigned char byte) {
    static const char HEX[] = "0123456789abcdef";
    out->append("\\x");
    out->append(HEX[byte >> 4]);
    out->append(HEX[byte & 15]);
}

} // namespace

fileResult<QByteArray> readWholeFile(const QString& path, int64_t maxBytes) {
    FILE* file = openRegularFile(path);
    if (!file)
        return fileResult<QByteArray>::failure(errno);
    QByteArray bytes;
    char buffer[1 << 16];
    int error = 0;
    for (;;) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, file);
        if (n > 0) {
            if (bytes.size() + qsizetype(n) > maxBytes) {
                error = EFBIG;
                break;
            }
            bytes.append(buffer, qsizetype(n));
        }
        if (n < sizeof buffer) {
            if (std::ferror(file))
                error = errno != 0 ? errno : EIO;
            break;
        }
    }
    std::fclose(file);
    if (error != 0)
        return fileResult<QByteArray>::failure(error);
    return fileResult<QByteArray>::ok(bytes);
}

fileResult<> writeNewFile(const QString& path, const QByteArray& bytes, const fileHooks& hooks) {
    FILE* file = createFreshFile(path, "wb", hooks);
    if (!file)
        return fileResult<>::failure(errno);
    const size_t length = size_t(bytes.size());
    int error = 0;
    errno = 0;
    // The stream's own write and sync, not the station disk's hooked ones: this runs on a
    // share's worker, which reads no hook but the copy it was given.
    if (length > 0 && std::fwrite(bytes.constData(), 1, length, file) != length)
        error = errno != 0 ? errno : EIO;
    if (error == 0 && hooks.fails(fileOp::WRITE, path))
        error = ENOSPC;
    if (error == 0 && std::fflush(file) != 0)
        error = errno != 0 ? errno : EIO;
    if (error == 0 && hooks.fails(fileOp::SYNC, path))
        error = EIO;
    if (error == 0) {
        hooks.tell(fileOp::SYNC, path, QString(), false);
        if (fsync(fileno(file)) != 0)
            error = errno != 0 ? errno : EIO;
        else
            hooks.tell(fileOp::SYNC, path, QString(), true);
    }
    if (std::fclose(file) != 0 && error == 0)
        error = errno != 0 ? errno : EIO;
    if (error != 0)
        (void)removeFile(path, hooks);
    return fileResult<>::fromErrno(error);
}

QString shownName(const QByteArray& rawName) {
    QByteArray out;
    out.reserve(rawName.size());
    const unsigned char* p = reinterpret_cast<const unsigned char*>(rawName.constData());
    size_t left = size_t(rawName.size());
    while (left > 0) {
        uint32_t code = 0;
        const int length = utf8Sequence(p, left, &code);
        if (length > 0 && shownAsIs(code)) {
            out.append(reinterpret_cast<const char*>(p), length);
        } else {
            // A control character is shown byte by byte, as is every byte of no valid text.
            const int bytes = length > 0 ? length : 1;
            for (int i = 0; i < bytes; ++i)
                appendEscaped(&out, p[i]);
        }
        p += length > 0 ? length : 1;
        left -= size_t(length > 0 ? length : 1);
    }
    return QString::fromUtf8(out);
}

QString shownName(const QString& name) {
    // The file system's own bytes: a name decoded from bytes that are no valid text encodes
    // back to those bytes, which are then shown escaped.
    return shownName(QFile::encodeName(name));
}
