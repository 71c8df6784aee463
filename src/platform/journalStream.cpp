#include "platform/journalStream.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Reads one decimal number up to `end`; false for an empty, signed or overlong one.
bool decimal(const char** text, char end, unsigned long long* value) {
    const char* p = *text;
    if (*p < '0' || *p > '9')
        return false;
    errno = 0;
    char* stop = nullptr;
    *value = std::strtoull(p, &stop, 10);
    if (errno != 0 || *stop != end)
        return false;
    *text = stop;
    return true;
}

} // namespace

bool journalStreamNames(const char* value, unsigned long long device, unsigned long long inode) {
    if (!value)
        return false;
    unsigned long long dev = 0;
    unsigned long long ino = 0;
    if (!decimal(&value, ':', &dev))
        return false;
    ++value;
    if (!decimal(&value, '\0', &ino))
        return false;
    return dev == device && ino == inode;
}

bool standardOutputIsJournal() {
    const char* value = std::getenv("JOURNAL_STREAM");
    if (!value)
        return false;
    struct stat st;
    if (fstat(STDOUT_FILENO, &st) != 0)
        return false;
    return journalStreamNames(value, (unsigned long long)st.st_dev, (unsigned long long)st.st_ino);
}
