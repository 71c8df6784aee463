#include "config/configParser.h"
#include "support/stationFolder.h"
#include "support/testSupport.h"

#include <QDir>

#include <climits>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

std::vector<configEntry> readText(const std::string& text, int* result) {
    FILE* f = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), f);
    std::rewind(f);
    configList list;
    EXPECT_EQ(createConfigList(&list), 0);
    *result = readConfigList(&list, f);
    std::fclose(f);
    return list.m_entries;
}

struct parsed {
    int result;
    std::string key, value;
    const char* description; // null when none
    std::string descriptionText;
};

parsed parse(std::string line) {
    parsed p;
    char *key = nullptr, *value = nullptr, *description = nullptr;
    p.result = parseConfigLine(&line[0], &key, &value, &description);
    if (p.result == 0) {
        p.key = key;
        p.value = value;
        p.description = description;
        p.descriptionText = description ? description : "";
    }
    return p;
}

} // namespace

TEST(parseConfigLine, cutsKeyDescriptionAndValue) {
    parsed p = parse("  Temp_Dir   C:\\data\\temp\\   # where the files wait\n");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.key, "temp_dir");
    EXPECT_EQ(p.value, "C:\\data\\temp\\");
    EXPECT_EQ(p.description, nullptr);

    char written[200];
    std::snprintf(written, sizeof written, "%30s %60s %-30s\n", "rle_threshold",
                  "threshold for runlength - encoding [ 0 , 255 ]", "100");
    p = parse(written);
    EXPECT_EQ(p.key, "rle_threshold");
    EXPECT_EQ(p.value, "100");
    EXPECT_EQ(p.descriptionText, "threshold for runlength - encoding [ 0 , 255 ]");

    // A value cannot hold a blank: the part before it becomes the description.
    p = parse("log_dir C:\\my data\\log\\\r\n");
    EXPECT_EQ(p.value, "data\\log\\");
    EXPECT_EQ(p.descriptionText, "C:\\my");
    p = parse("key\tvalue");
    EXPECT_EQ(p.value, "value");
    EXPECT_EQ(p.description, nullptr);
}

TEST(parseConfigLine, linesWithoutEntry) {
    for (const char* line : {"# key value\n", "single\n", "single   \n", "   \t\n", "", "\n",
                             "   # key value\n", "key \x01\n", "key #value\n"})
        EXPECT_EQ(parse(line).result, -1) << '"' << line << '"';
}

TEST(readConfigList, keepsFileOrderAndTheLastLineWithoutLineEnd) {
    int result = -1;
    std::vector<configEntry> entries = readText("a 1\n# b 0\nA 2\n\nb 12345", &result);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].m_key, "a");
    EXPECT_EQ(entries[1].m_key, "a");
    EXPECT_EQ(entries[1].m_value, "2");
    EXPECT_EQ(entries[2].m_value, "12345");

    entries = readText("", &result);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(entries.empty());
}

TEST(readConfigList, linesLongerThanTheBufferComeInPieces) {
    // 1023 characters make one piece; the rest of the line is a line of its own.
    std::string first = "key " + std::string(1014, 'd') + " v1";
    ASSERT_EQ(first.size(), 1021u);
    std::string longLine = first + "  second v2\n";
    std::string huge = "k " + std::string(10000, 'x') + "\n";
    int result = -1;
    std::vector<configEntry> entries = readText(longLine + huge + "last 3", &result);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].m_value, "v1");
    EXPECT_EQ(entries[1].m_key, "second");
    EXPECT_EQ(entries[1].m_value, "v2");
    EXPECT_EQ(entries[2].m_key, "k");
    EXPECT_EQ(entries[2].m_value.size(), 1021u);
    EXPECT_EQ(entries[3].m_key, "last") << "the pieces of a single word yield nothing";
}

TEST(readConfigList, refusalsAndReadErrorsLeaveTheListEmpty) {
    configList list;
    FILE* f = std::tmpfile();
    std::fputs("a 1\n", f);
    std::rewind(f);
    EXPECT_EQ(readConfigList(&list, f), -1) << "a list that was never created";
    ASSERT_EQ(createConfigList(&list), 0);
    ASSERT_EQ(readConfigList(&list, f), 0);
    ASSERT_EQ(list.m_entries.size(), 1u);
    EXPECT_EQ(readConfigList(&list, nullptr), -1);
    EXPECT_TRUE(list.m_entries.empty());
    std::fclose(f);

    // A directory opens as a stream but cannot be read.
    tempStation dir;
    list.m_entries.push_back({"old", "1", ""});
    FILE* d = std::fopen(QFile::encodeName(dir.path()).constData(), "r");
    ASSERT_NE(d, nullptr);
    stderrCapture err;
    EXPECT_EQ(readConfigList(&list, d), -1);
    EXPECT_EQ(err.text(), "error reading configuration file -> aborting\n");
    EXPECT_TRUE(list.m_entries.empty());
    std::fclose(d);

    destroyConfigList(&list);
    EXPECT_EQ(readConfigList(&list, d = std::tmpfile()), -1) << "a destroyed list";
    std::fclose(d);
}

TEST(matchConfig, exactAndCaseSensitive) {
    configEntry e{"temp_dir", "C:\\x", ""};
    EXPECT_EQ(matchConfigKey(&e, "temp_dir"), 0);
    for (const char* other : {"Temp_dir", "temp", "temp_dir_x"})
        EXPECT_EQ(matchConfigKey(&e, other), -1) << other;
    EXPECT_EQ(matchConfigKey(&e, nullptr), -1);
    EXPECT_EQ(matchConfigKey(nullptr, "temp_dir"), -1);
}

TEST(formatConfigEntry, readsBackAsTheSameEntry) {
    for (const configEntry& e :
         {configEntry{"gain_a", "3", "camera A : gain"}, configEntry{"left", "0", ""}}) {
        parsed p = parse(formatConfigEntry(e));
        EXPECT_EQ(p.key, e.m_key);
        EXPECT_EQ(p.value, e.m_value);
        EXPECT_EQ(p.descriptionText, e.m_description);
    }
}

TEST(configNumbers, leadingNumberLikeAtoiAndAtof) {
    EXPECT_EQ(configInteger("12abc"), 12);
    EXPECT_EQ(configInteger("abc"), 0);
    EXPECT_EQ(configInteger("-5"), -5);
    EXPECT_EQ(configInteger("0x10"), 0);
    EXPECT_EQ(configInteger("99999999999999999999999"), LLONG_MAX);
    EXPECT_DOUBLE_EQ(configReal("1.5e3x"), 1500.0);
    EXPECT_DOUBLE_EQ(configReal("x"), 0.0);
}

TEST(pReadConfigFile, followsALinkButReadsOnlyARegularFile) {
    // The package links the configuration into /etc/acquire_kiv; anything else under the name
    // is refused at once: a FIFO without a writer would otherwise hold the start for good.
    tempStation dir;
    const QString real = dir.file("real.set");
    ASSERT_TRUE(writeWhole(real, "key value\n"));
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.file("fifo")).constData(), 0644), 0);
    ASSERT_TRUE(QDir().mkpath(dir.file("folder")));
    struct {
        const char* name;
        const char* target; // of the link under `name`; null: `name` itself is used
        int result;
    } cases[] = {
        {"real.set", nullptr, 0},     {"link.set", "real.set", 0}, {"fifo", nullptr, -1},
        {"fifoLink.set", "fifo", -1}, {"folder", nullptr, -1},     {"absent.set", nullptr, -1},
    };
    for (const auto& c : cases) {
        const QString path = dir.file(c.name);
        if (c.target) {
            ASSERT_TRUE(QFile::link(dir.file(c.target), path));
        }
        configList list;
        EXPECT_EQ(pReadConfigFile(QFile::encodeName(path).constData(), &list), c.result) << c.name;
        EXPECT_EQ(list.m_entries.size(), c.result == 0 ? 1u : 0u) << c.name;
        destroyConfigList(&list);
    }
}
