#include "platform/fileOps.h"
#include "support/testSupport.h"

#include <cerrno>
#include <gtest/gtest.h>

TEST(renameNoReplace, movesWhenTargetIsMissing) {
    tempStation dir;
    dir.write("a.part", "new");
    EXPECT_TRUE(renameNoReplace(dir.file("a.part"), dir.file("a")));
    EXPECT_FALSE(dir.exists("a.part"));
    EXPECT_EQ(dir.read("a"), "new");
}

TEST(renameNoReplace, refusesExistingTargetAndKeepsBothFiles) {
    tempStation dir;
    dir.write("a.part", "new");
    dir.write("a", "old");
    EXPECT_EQ(renameNoReplaceErrno(dir.file("a.part"), dir.file("a")), EEXIST);
    EXPECT_FALSE(renameNoReplace(dir.file("a.part"), dir.file("a")));
    EXPECT_EQ(dir.read("a.part"), "new");
    EXPECT_EQ(dir.read("a"), "old");
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
    ASSERT_EQ(renameNoReplaceErrno(source, dir.file("probe")), EXDEV) << "same file system";
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
