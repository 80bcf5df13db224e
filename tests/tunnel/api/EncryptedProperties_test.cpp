#include "tunnel/api/EncryptedProperties.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "gt/core/io/SystemFolders.h"
#include "support/TempDir.h"
#include "support/Text.h"

using gt::core::Dictionary;
using gt::core::String;
using gt::test::TempDir;
using gt::test::utf8;
using tunnel::EncryptedProperties;

namespace {

Dictionary<String> sample() {
    Dictionary<String> d;
    d.set(u"b", u"%APP_DIR%/x");
    d.set(u"a", u"1");
    return d;
}

int countEntries(TempDir const& dir) {
    int n = 0;
    for (auto const& entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++n;
    }
    return n;
}

TEST(EncryptedProperties, MissingFileIsAnEmptyStore) {
    TempDir dir;
    EncryptedProperties props(dir.str("properties.cfg"), u"pw");
    EXPECT_TRUE(props.values().isEmpty());
    EXPECT_TRUE(props.get(u"anything").isEmpty());
    EXPECT_FALSE(dir.exists("properties.cfg"));
}

TEST(EncryptedProperties, FileBytesMatchTheFormatInKeyOrder) {
    // Bytes made with a separate implementation of the cipher, for the
    // password "host-pw".
    struct Case {
        char16_t const* password;
        std::string bytesHex;
    };
    Case const cases[] = {
        {u"", gt::test::hex(gt::test::bin("a{1}\r\nb{%APP_DIR%/x}\r\n"))},
        {u"host-pw", "332543c855b8a29e8b32f2f5cfce46ff42b6bedf72961ef402"},
    };
    for (Case const& c : cases) {
        TempDir dir;
        EncryptedProperties props(dir.str("config.cfg"), c.password);
        props.setAll(sample());
        EXPECT_TRUE(props.lastSaveSucceeded());
        EXPECT_EQ(gt::test::hex(gt::test::bin(dir.readFile("config.cfg"))), c.bytesHex);
    }
}

TEST(EncryptedProperties, AppDirExpandsOnReadAndStaysInTheFile) {
    TempDir dir;
    {
        EncryptedProperties props(dir.str("properties.cfg"), u"host-pw");
        props.setAll(sample());
        EXPECT_EQ(props.get(u"b"), gt::core::getProgramDirectory() + u"/x");
    }
    EncryptedProperties again(dir.str("properties.cfg"), u"host-pw");
    EXPECT_EQ(again.get(u"a"), String(u"1"));
    EXPECT_EQ(again.get(u"b"), gt::core::getProgramDirectory() + u"/x");
    EXPECT_EQ(
        EncryptedProperties::decode(gt::test::bin(dir.readFile("properties.cfg")), u"host-pw").get(u"b"),
        String(u"%APP_DIR%/x"));
}

TEST(EncryptedProperties, SetKeepsEveryOtherEntryAndOtherProcessesSeeItAfterLoad) {
    TempDir dir;
    EncryptedProperties writer(dir.str("properties.cfg"), u"pw");
    EncryptedProperties reader(dir.str("properties.cfg"), u"pw");
    writer.setAll(sample());
    writer.set(u"c", String::fromUtf8("中文 值"));
    writer.set(u"a", u"2");
    EXPECT_TRUE(reader.get(u"c").isEmpty());
    reader.load();
    EXPECT_EQ(reader.values().count(), 3);
    EXPECT_EQ(reader.get(u"a"), String(u"2"));
    EXPECT_EQ(utf8(reader.get(u"c")), "中文 值");
}

TEST(EncryptedProperties, WrongPasswordOrDamagedFileNeverThrows) {
    TempDir dir;
    EncryptedProperties writer(dir.str("p.cfg"), u"right");
    writer.setAll(sample());
    EncryptedProperties wrong(dir.str("p.cfg"), u"wrong");
    EXPECT_NE(wrong.get(u"a"), String(u"1"));
    dir.writeFile("p.cfg", "\x01\x02\x03 not a cipher text");
    EncryptedProperties damaged(dir.str("p.cfg"), u"right");
    EXPECT_TRUE(damaged.values().isEmpty());
}

TEST(EncryptedProperties, FileIsReplacedWholeWithPrivateMode) {
    TempDir dir;
    EncryptedProperties props(dir.str("properties.cfg"), u"pw");
    props.setAll(sample());
    // A reader that opened the old file keeps reading the old content whole.
    int held = ::open(dir.path("properties.cfg").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    std::string before = dir.readFile("properties.cfg");
    Dictionary<String> big;
    for (int i = 0; i < 500; ++i)
        big.set(gt::test::text("key" + std::to_string(i)), u"some value");
    props.setAll(big);
    char buffer[4096];
    ssize_t n = ::read(held, buffer, sizeof buffer);
    ::close(held);
    EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0u), before);

    struct stat st;
    ASSERT_EQ(::stat(dir.path("properties.cfg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(countEntries(dir), 1);  // no temporary file left behind
    EncryptedProperties again(dir.str("properties.cfg"), u"pw");
    EXPECT_EQ(again.values().count(), 500);
}

TEST(EncryptedProperties, SetAllCreatesTheFolderAndAFailedWriteKeepsMemoryAndTheFolderClean) {
    TempDir dir;
    EncryptedProperties props(dir.str("data/Quorvane2/properties.cfg"), u"pw");
    props.set(u"a", u"1");
    EXPECT_TRUE(props.lastSaveSucceeded());
    EXPECT_TRUE(dir.exists("data/Quorvane2/properties.cfg"));

    // A folder where the file should be: the write cannot replace it.
    ::mkdir(dir.path("blocked.cfg").c_str(), 0700);
    EncryptedProperties blocked(dir.str("blocked.cfg"), u"pw");
    blocked.set(u"b", u"2");
    EXPECT_FALSE(blocked.lastSaveSucceeded());
    EXPECT_EQ(blocked.get(u"b"), String(u"2"));
    EXPECT_EQ(countEntries(dir), 2);  // "data" and the folder; no temporary file
}

TEST(EncryptedProperties, OversizedFileIsNotRead) {
    TempDir dir;
    std::string huge(EncryptedProperties::kMaxFileBytes + 1, 'x');
    huge.replace(0, 5, "a{1}\n");
    dir.writeFile("p.cfg", huge);
    EncryptedProperties props(dir.str("p.cfg"), u"");
    EXPECT_TRUE(props.values().isEmpty());
}

}  // namespace
