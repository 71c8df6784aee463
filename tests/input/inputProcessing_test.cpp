#include "input/inputStation.h"

namespace {

QByteArray normFile(int lines) {
    QByteArray text = "7 " + QByteArray::number(lines) + "\n";
    for (int i = 0; i < lines; ++i)
        text += QByteArray::number(i) + " 0 20 30 0 0\n";
    return text;
}

struct processTest : inputStation {
    processTest() : a(camera(1)) {
        EXPECT_TRUE(syncs->addSync(stationParams()));
        log.clear();
    }
    std::unique_ptr<cameraInput> a;
};

} // namespace

TEST_F(processTest, anEmptyWorkingDirectoryLeavesTheFieldsEmpty) {
    dir.write("temp/a.a.cam", transfer(1, 0, 4));
    ASSERT_EQ(a->processNextFile(), PROCESSED_TRANSFER);
    EXPECT_EQ(a->processNextFile(), PROCESSED_NOTHING);
    EXPECT_EQ(a->lastFile().name, "");
    EXPECT_EQ(a->lastFile().size, 0u);
    EXPECT_EQ(a->lastFile().newRecords, 0u);
    cameraInputConfig config = a->config();
    config.workDir = dir.file("gone");
    a->configure(config);
    EXPECT_EQ(a->processNextFile(), PROCESSED_NOTHING);
    EXPECT_TRUE(log.messages().isEmpty());
}

TEST_F(processTest, filesAreHandledOnePerCallInNameOrder) {
    QByteArray bytes = transfer(1, 0, 4);
    dir.write("temp/b.log.a.cam", "camera says hello\n");
    dir.write("temp/a.a.cam", bytes);
    dir.write("temp/c.norm.a.cam", normFile(5));
    dir.write("temp/0.b.cam", transfer(2, 0, 4));

    EXPECT_EQ(a->processNextFile(), PROCESSED_TRANSFER);
    EXPECT_EQ(a->lastFile().name, "a.a.cam");
    EXPECT_EQ(a->lastFile().size, uint32_t(bytes.size()));
    EXPECT_EQ(a->lastFile().newRecords, 1u);
    EXPECT_EQ(a->queue().size(), 1u);

    EXPECT_EQ(a->processNextFile(), PROCESSED_LOG);
    EXPECT_EQ(a->lastFile().name, "b.log.a.cam");
    EXPECT_EQ(a->lastFile().newRecords, 0u);
    EXPECT_TRUE(dailyLog(1).contains("camera says hello"));

    // A norm-video file also matches the transfer filter; it is taken as norm video.
    EXPECT_EQ(a->processNextFile(), PROCESSED_NORM);
    EXPECT_TRUE(videoSnapshot::instance().ready(1));
    EXPECT_EQ(a->queue().size(), 1u);

    EXPECT_EQ(a->processNextFile(), PROCESSED_NOTHING);
    EXPECT_EQ(dir.list("temp"), QStringList{"0.b.cam"});
    EXPECT_EQ(log.messages(),
              (QStringList{"processed log file " + dir.file("temp/b.log.a.cam"),
                           "processed norm video file " + dir.file("temp/c.norm.a.cam")}));
    videoSnapshot::instance().clearAll();
}

TEST_F(processTest, aFileThatFailsIsReportedAndDeletedAllTheSame) {
    dir.write("temp/1.a.cam", transfer(2, 0, 4)); // camera B's file under camera A's name
    dir.write("temp/2.norm.a.cam", "not a video line file");
    dir.write("temp/3.log.a.cam", "line\n");
    ASSERT_TRUE(QDir(dir.file("log")).removeRecursively());
    EXPECT_EQ(a->processNextFile(), PROCESSED_NOTHING);
    EXPECT_EQ(a->processNextFile(), PROCESSED_NOTHING);
    EXPECT_EQ(a->processNextFile(), PROCESSED_NOTHING);
    EXPECT_TRUE(dir.list("temp").isEmpty());
    EXPECT_EQ(a->queue().size(), 0u);
    // The reader adds its own reasons before.
    for (const QString& message :
         {QStringLiteral("error : unable to process input data transfer file 1.a.cam"),
          QStringLiteral("error : unable to rename input norm video file to temp file"),
          "error processing log file " + dir.file("temp/3.log.a.cam")})
        EXPECT_TRUE(log.messages().contains(message)) << message.toStdString();
}

// A restarted station finds the files of the synchronisations its predecessor made, whose
// times died with it: one line for all of them, no error per file, and the new
// synchronisation's file read as ever.
TEST_F(processTest, aRestartSumsUpTheFilesOfEarlierSynchronisationsInOneLine) {
    for (const char* name : {"cam_a/input/1.a.cam", "cam_a/input/2.a.cam", "cam_a/input/3.a.cam"})
        dir.write(name, transfer(1, 0, 4));
    syncs = syncListPtr(new syncList());
    std::unique_ptr<cameraInput> restarted = camera(1);
    ASSERT_TRUE(syncs->addSync(stationParams()));
    dir.write("cam_a/input/4.a.cam", transfer(1, 0, 4));
    log.clear();

    ASSERT_EQ(restarted->collectInput(), INPUT_TRANSFER);
    for (int i = 0; i < 5; ++i)
        restarted->processNextFile();
    EXPECT_EQ(log.messages(),
              QStringList{"warning : camera A : 3 transfer files of synchronisations made before "
                          "this run refused (1.a.cam to 3.a.cam) : their sync times are not "
                          "kept across a restart"});
    EXPECT_EQ(restarted->queue().size(), 1u);
    EXPECT_TRUE(dir.list("temp").isEmpty());
}

TEST_F(processTest, aLongPathReachesTheReaderWhole) {
    QString deep = dir.mkdir("temp/" + QString(90, 'w'));
    cameraInputConfig config = a->config();
    config.workDir = deep;
    a->configure(config);
    ASSERT_TRUE(a->prepareInput());
    dir.write(deep.mid(dir.path().size() + 1) + "/" + QString(20, 'f') + ".a.cam",
              transfer(1, 0, 4));
    ASSERT_GT(joinPath(deep, QString(20, 'f') + ".a.cam").size(), 100);
    EXPECT_EQ(a->processNextFile(), PROCESSED_TRANSFER);
    EXPECT_EQ(a->queue().size(), 1u);
    EXPECT_TRUE(QDir(deep).isEmpty());
}

TEST_F(processTest, aFileThatCannotBeRemovedIsNeverHandledTwice) {
    dir.write("temp/1.log.a.cam", "only once\n");
    dir.write("temp/2.a.cam", transfer(1, 0, 4));
    bool stuck = true;
    scopedFileFaults faults([&stuck](fileOp op, const QString& path) {
        return stuck && op == fileOp::REMOVE && path.endsWith("1.log.a.cam");
    });
    EXPECT_EQ(a->processNextFile(), PROCESSED_LOG);
    EXPECT_EQ(a->processNextFile(), PROCESSED_NOTHING);
    EXPECT_EQ(a->lastFile().name, "1.log.a.cam");
    EXPECT_EQ(dailyLog(1).count("only once"), 1);
    EXPECT_EQ(log.messages().count("error : unable to remove input file 1.log.a.cam"), 2);
    stuck = false;
    EXPECT_EQ(a->processNextFile(), PROCESSED_NOTHING);
    EXPECT_EQ(dailyLog(1).count("only once"), 1);
    EXPECT_EQ(a->processNextFile(), PROCESSED_TRANSFER);
    EXPECT_TRUE(dir.list("temp").isEmpty());

    // A later file of the same name is handled as the new file it is.
    dir.write("temp/1.log.a.cam", "a new file\n");
    stuck = true;
    EXPECT_EQ(a->collectInput(), 0);
    EXPECT_EQ(a->processNextFile(), PROCESSED_LOG);
    EXPECT_TRUE(dailyLog(1).contains("a new file"));
}

TEST_F(processTest, theKeptListingSeesWhatAPollBroughtAndWhatWentMissing) {
    dir.write("temp/2.log.a.cam", "two\n");
    dir.write("temp/3.log.a.cam", "three\n");
    dir.write("temp/4.log.a.cam", "four\n");
    EXPECT_EQ(a->processNextFile(), PROCESSED_LOG);
    EXPECT_EQ(a->lastFile().name, "2.log.a.cam");
    // Removed from outside; a poll brings an earlier name.
    ASSERT_TRUE(removeFile(dir.file("temp/3.log.a.cam")));
    dir.write("cam_a/input/1.log.a.cam", "one\n");
    EXPECT_EQ(a->collectInput(), INPUT_TRANSFER | INPUT_LOG);
    EXPECT_EQ(a->processNextFile(), PROCESSED_LOG);
    EXPECT_EQ(a->lastFile().name, "1.log.a.cam");
    ASSERT_TRUE(removeFile(dir.file("temp/4.log.a.cam")));
    dir.write("temp/5.log.a.cam", "five\n");
    EXPECT_EQ(a->processNextFile(), PROCESSED_LOG);
    EXPECT_EQ(a->lastFile().name, "5.log.a.cam");
    EXPECT_EQ(a->processNextFile(), PROCESSED_NOTHING);
    QByteArray daily = dailyLog(1);
    EXPECT_FALSE(daily.contains("three"));
    EXPECT_FALSE(daily.contains("four"));
    EXPECT_LT(daily.indexOf("one"), daily.indexOf("five"));
}
