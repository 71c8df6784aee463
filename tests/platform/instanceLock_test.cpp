#include "platform/instanceLock.h"
#include "support/testSupport.h"

#include <QFile>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

// The lock file is the station's own: a link to another file, a second name of one, a FIFO or
// a directory in its place is refused without writing anything through it or waiting on it.
TEST(instanceLock, takenOnlyInAPlainFileOfItsOwn) {
    enum class put { nothing, plainFile, symlink, hardLink, fifo, directory };
    const struct {
        const char* what;
        put in;
        bool held;
        long holder;
    } cases[] = {
        {"no file yet", put::nothing, true, 0},
        {"a file left by an earlier run", put::plainFile, true, 0},
        {"a link to the configuration", put::symlink, false, INSTANCE_LOCK_NOT_OWN},
        {"a second name of the configuration", put::hardLink, false, INSTANCE_LOCK_NOT_OWN},
        {"a FIFO", put::fifo, false, INSTANCE_LOCK_NOT_OWN},
        {"a directory", put::directory, false, INSTANCE_LOCK_NOT_OWN},
    };
    for (const auto& c : cases) {
        tempStation dir;
        const QString target = dir.write("acquire_kiv.set", "keep me\n");
        const QByteArray lock = QFile::encodeName(dir.file("acquire_kiv.lock"));
        const QByteArray other = QFile::encodeName(target);
        switch (c.in) {
        case put::nothing:
            break;
        case put::plainFile:
            dir.write("acquire_kiv.lock", "12345\n");
            break;
        case put::symlink:
            ASSERT_EQ(symlink(other.constData(), lock.constData()), 0);
            break;
        case put::hardLink:
            ASSERT_EQ(link(other.constData(), lock.constData()), 0);
            break;
        case put::fifo:
            ASSERT_EQ(mkfifo(lock.constData(), 0644), 0);
            break;
        case put::directory:
            dir.mkdir("acquire_kiv.lock");
            break;
        }
        long holder = 99;
        EXPECT_EQ(acquireInstanceLock(lock.constData(), &holder), c.held) << c.what;
        EXPECT_EQ(holder, c.holder) << c.what;
        EXPECT_EQ(dir.read("acquire_kiv.set"), "keep me\n") << c.what;
        if (c.held) {
            EXPECT_EQ(dir.read("acquire_kiv.lock").trimmed(), QByteArray::number(getpid()))
                << c.what;
        }
    }
}
