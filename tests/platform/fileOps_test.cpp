#include "platform/fileOps.h"
#include "support/testSupport.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

TEST(renameNoReplace, movesWhenTargetIsMissing) {
    tempStation dir;
    dir.write("a.part", "new");
    EXPECT_TRUE(renameNoReplace(dir.file("a.part"), dir.file("a")));
    EXPECT_FALSE(dir.exists("a.part"));
    EXPECT_EQ(dir.read("a"), "new");
}

// Also on file systems that refuse the no-replace flag (the hard-link fallback) or hard links
// too (test, then rename).
TEST(renameNoReplace, refusesExistingTargetAndKeepsBothFilesOnEveryFileSystem) {
    const struct {
        const char* fileSystem;
        bool refusesFlag;
        bool refusesLinks;
    } cases[] = {
        {"local", false, false}, {"no rename flag", true, false}, {"no links", true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fileSystem);
        scopedFileFaults faults([&c](fileOp op, const QString&) {
            return (op == fileOp::RENAME_FLAG && c.refusesFlag) ||
                   (op == fileOp::LINK && c.refusesLinks);
        });
        tempStation dir;
        dir.write("a.part", "new");
        dir.write("a", "old");
        EXPECT_TRUE(renameNoReplace(dir.file("a.part"), dir.file("a")).failedWith(EEXIST));
        EXPECT_EQ(dir.read("a.part"), "new");
        EXPECT_EQ(dir.read("a"), "old");
        ASSERT_TRUE(renameNoReplace(dir.file("a.part"), dir.file("b")));
        EXPECT_EQ(dir.list(), (QStringList{"a", "b"}));
        EXPECT_EQ(dir.read("b"), "new");
    }
}

TEST(renameNoReplace, missingSourceFails) {
    tempStation dir;
    EXPECT_FALSE(renameNoReplace(dir.file("none"), dir.file("a")));
    EXPECT_FALSE(dir.exists("a"));
}

TEST(moveFileNoReplace, movesWithinAFileSystemAndRefusesToOverwrite) {
    tempStation dir;
    dir.mkdir("in");
    dir.mkdir("work");
    dir.write("in/x.a.cam", "one");
    dir.write("in/y.a.cam", "two");
    dir.write("work/y.a.cam", "waiting");
    EXPECT_TRUE(moveFileNoReplace(dir.file("in/x.a.cam"), dir.file("work/x.a.cam")));
    EXPECT_FALSE(moveFileNoReplace(dir.file("in/y.a.cam"), dir.file("work/y.a.cam")));
    EXPECT_EQ(dir.read("work/x.a.cam"), "one");
    EXPECT_EQ(dir.read("in/y.a.cam"), "two");
    EXPECT_EQ(dir.read("work/y.a.cam"), "waiting");
}

TEST(moveFileNoReplace, acrossFileSystemsCopiesThroughATemporaryName) {
    // /dev/shm is a tmpfs and so another file system than the temporary directory.
    tempStation dir;
    if (!directoryExists("/dev/shm"))
        GTEST_SKIP() << "no second file system";
    QString source = QStringLiteral("/dev/shm/kiv_move_test_%1.a.cam").arg(getpid());
    FILE* f = openFile(source, "wb");
    ASSERT_NE(f, nullptr);
    fputs("payload", f);
    fclose(f);
    ASSERT_TRUE(renameNoReplace(source, dir.file("probe")).failedWith(EXDEV)) << "same file system";
    EXPECT_TRUE(moveFileNoReplace(source, dir.file("x.a.cam")));
    EXPECT_FALSE(fileExists(source));
    EXPECT_EQ(dir.read("x.a.cam"), "payload");
    EXPECT_FALSE(dir.exists("x.a.cam.part"));
}

TEST(moveFileNoReplace, failedCopyLeavesSourceAndNoHalfFile) {
    tempStation dir;
    if (!directoryExists("/dev/shm"))
        GTEST_SKIP() << "no second file system";
    QString source = QStringLiteral("/dev/shm/kiv_move_fail_%1.a.cam").arg(getpid());
    FILE* f = openFile(source, "wb");
    ASSERT_NE(f, nullptr);
    fputs("payload", f);
    fclose(f);
    {
        scopedFileFaults faults([](fileOp op, const QString&) { return op == fileOp::COPY; });
        EXPECT_FALSE(moveFileNoReplace(source, dir.file("x.a.cam")));
    }
    EXPECT_TRUE(fileExists(source));
    EXPECT_TRUE(dir.list().isEmpty());
    removeFile(source);
}

TEST(fileFaults, injectedFailuresReachOpenWriteRemoveAndRename) {
    tempStation dir;
    dir.write("keep", "x");
    scopedFileFaults faults([](fileOp, const QString& path) { return path.endsWith("keep"); });
    EXPECT_EQ(openFile(dir.file("keep"), "wb"), nullptr);
    EXPECT_FALSE(removeFile(dir.file("keep")));
    EXPECT_FALSE(renameNoReplace(dir.file("keep"), dir.file("other")));
    FILE* f = openFile(dir.file("out"), "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(writeFile(f, "abcd", 4, dir.file("keep")), 2u);
    EXPECT_EQ(writeFile(f, "abcd", 4, dir.file("out")), 4u);
    fclose(f);
    EXPECT_TRUE(dir.exists("keep"));
}

TEST(listFiles, onlyMatchingRegularFilesSortedByName) {
    tempStation dir;
    dir.mkdir("in/sub.a.cam");
    dir.write("in/b.a.cam", "");
    dir.write("in/a.log.a.cam", "");
    dir.write("in/C.a.cam", "");
    dir.write("in/x.A.CAM", "");
    dir.write("in/.hidden.a.cam", "");
    dir.write("in/y.a.cam.part", "");
    dir.write("in/z.b.cam", "");
    ASSERT_EQ(symlink(dir.file("in/b.a.cam").toLocal8Bit().constData(),
                      dir.file("in/link.a.cam").toLocal8Bit().constData()),
              0);
    const fileResult<QStringList> listed = listFiles(dir.file("in"), "*.a.cam");
    ASSERT_TRUE(listed);
    const QStringList& names = listed.value;
    // Without regard to case, as the camera computers name files.
    EXPECT_EQ(names, (QStringList{"C.a.cam", "a.log.a.cam", "b.a.cam", "x.A.CAM"}));
    for (const QString& name : names)
        EXPECT_TRUE(fileNameMatches("*.a.cam", name));
    EXPECT_FALSE(fileNameMatches("*.a.cam", "x.B.CAM"));
    EXPECT_FALSE(fileNameMatches("*.a.cam", ".hidden.a.cam"));

    EXPECT_TRUE(listFiles(dir.file("missing"), "*").failedWith(ENOENT));
    scopedFileFaults faults([](fileOp op, const QString&) { return op == fileOp::LIST; });
    const fileResult<QStringList> refused = listFiles(dir.file("in"), "*.a.cam");
    EXPECT_TRUE(refused.failed());
    EXPECT_TRUE(refused.value.isEmpty());
}

TEST(stampFile, tellsALaterFileOfTheSameName) {
    tempStation dir;
    EXPECT_TRUE(stampFile(dir.file("x.a.cam")).failedWith(ENOENT));
    dir.write("x.a.cam", "12345");
    const fileStamp first = stampFile(dir.file("x.a.cam")).value;
    EXPECT_EQ(first.size, 5u);
    // Replaced by a file of the same size whose inode may well be the old one's.
    ASSERT_TRUE(removeFile(dir.file("x.a.cam")));
    dir.write("x.a.cam", "54321");
    struct timespec times[2] = {{0, UTIME_OMIT}, {1000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, dir.file("x.a.cam").toLocal8Bit().constData(), times, 0), 0);
    const fileStamp second = stampFile(dir.file("x.a.cam")).value;
    EXPECT_FALSE(first == second);
    EXPECT_TRUE(second == stampFile(dir.file("x.a.cam")).value);
}
