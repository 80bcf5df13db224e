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

// A file that is there but gives no settings reads as an empty store, as a
// missing one does; the reason is kept so that the service can say it.
TEST(EncryptedProperties, AFileThatGivesNoSettingsTellsWhy) {
    enum Kind { MISSING, GOOD, EMPTY, FOLDER, FIFO, OVERSIZED, NOT_ENCIPHERED, OTHER_KEY };
    struct Case {
        char const* name;
        Kind kind;
        char const* reason;  // after the path; null: no reason
    } const cases[] = {
        {"missing", MISSING, nullptr},
        {"good", GOOD, nullptr},
        {"empty", EMPTY, nullptr},
        {"folder", FOLDER, "cannot be read: Is a directory (21)"},
        {"fifo", FIFO, "is not a regular file"},
        {"oversized", OVERSIZED, "is larger than 4194304 bytes"},
        {"not enciphered", NOT_ENCIPHERED, "is no enciphered settings file"},
        {"another computer's key", OTHER_KEY,
         "cannot be deciphered with this computer's key (written on another computer, or damaged)"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::string const file = dir.path("properties.cfg");
        if (c.kind == GOOD || c.kind == OTHER_KEY) {
            EncryptedProperties writer(dir.str("properties.cfg"),
                                       c.kind == GOOD ? u"host-pw" : u"other-host");
            ASSERT_TRUE(writer.setAll(sample()));
        }
        if (c.kind == EMPTY) dir.writeFile("properties.cfg", "");
        int made = 0;
        if (c.kind == FOLDER) made = ::mkdir(file.c_str(), 0700);
        if (c.kind == FIFO) made = ::mkfifo(file.c_str(), 0600);
        ASSERT_EQ(0, made);
        if (c.kind == OVERSIZED)
            dir.writeFile("properties.cfg", std::string(EncryptedProperties::MAX_FILE_BYTES + 1, 'x'));
        if (c.kind == NOT_ENCIPHERED) dir.writeFile("properties.cfg", "device.token{plain}");

        EncryptedProperties props(dir.str("properties.cfg"), u"host-pw");
        if (c.reason == nullptr) {
            EXPECT_TRUE(props.lastLoadError().isEmpty()) << utf8(props.lastLoadError());
        } else {
            EXPECT_EQ("The settings file " + file + " " + c.reason, utf8(props.lastLoadError()));
        }
        EXPECT_EQ(c.kind == GOOD ? 2 : 0, props.values().count());
    }
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
        big.set(gt::test::str("key" + std::to_string(i)), u"some value");
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

    // A folder where the file should be, made after the load found nothing
    // there (one there at the load is refused before any write): the write
    // cannot replace it.
    EncryptedProperties blocked(dir.str("blocked.cfg"), u"pw");
    ::mkdir(dir.path("blocked.cfg").c_str(), 0700);
    EXPECT_FALSE(blocked.set(u"b", u"2"));
    EXPECT_FALSE(blocked.lastSaveSucceeded());
    EXPECT_EQ("Cannot write " + dir.path("blocked.cfg") + ": Is a directory (21)",
              utf8(blocked.lastSaveError()));
    EXPECT_EQ(blocked.get(u"b"), String(u"2"));
    EXPECT_EQ(countEntries(dir), 2);  // "data" and the folder; no temporary file
}

// A value that closes its own entry and opens another would come back as
// another key's value: the device token of the service, say. Such an entry
// is refused with a reason, and neither the file nor the store changes.
TEST(EncryptedProperties, AnEntryTheFormatCannotHoldIsRefusedAndTheFileKeepsItsContent) {
    struct Case {
        char const* name;
        std::u16string key;
        std::u16string value;
        char const* reason;
    } const cases[] = {
        {"value closes its entry", u"net.local_ip", u"1.2.3.4}device.token{attacker-token", "net.local_ip"},
        {"value opens without closing", u"user.name", u"a{b", "user.name"},
        {"value closes without opening", u"user.name", u"a}b", "user.name"},
        {"value ends the text early", u"user.name", std::u16string(u"a\0b", 3), "user.name"},
        {"key with a brace", u"device.token{x", u"1", "device.token{x"},
        {"key with a blank", u"device token", u"1", "device token"},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        EncryptedProperties props(dir.str("properties.cfg"), u"host-pw");
        ASSERT_TRUE(props.set(u"device.token", u"real-token"));
        EXPECT_TRUE(props.lastSaveError().isEmpty());
        std::string const before = dir.readFile("properties.cfg");
        String const key(c.key.data(), static_cast<int>(c.key.size()));
        String const value(c.value.data(), static_cast<int>(c.value.size()));

        EXPECT_FALSE(props.set(key, value));
        EXPECT_FALSE(props.lastSaveSucceeded());
        EXPECT_NE(std::string::npos, utf8(props.lastSaveError()).find(c.reason))
            << utf8(props.lastSaveError());
        Dictionary<String> all = props.values();
        all.set(key, value);
        EXPECT_FALSE(props.setAll(all));
        EXPECT_FALSE(props.lastSaveSucceeded());
        // Beside a good entry, the good one is not stored either.
        Dictionary<String> two;
        two.set(u"device.id", u"77");
        two.set(key, value);
        EXPECT_FALSE(props.set(two));
        EXPECT_FALSE(props.values().contains(u"device.id"));

        EXPECT_EQ(before, dir.readFile("properties.cfg"));
        EXPECT_FALSE(props.values().contains(key));
        EXPECT_EQ(1, props.values().count());
        EncryptedProperties again(dir.str("properties.cfg"), u"host-pw");
        EXPECT_EQ(String(u"real-token"), again.get(u"device.token"));
        EXPECT_EQ(1, again.values().count());
    }
    // Braces that pair up are kept as they are.
    TempDir dir;
    EncryptedProperties props(dir.str("properties.cfg"), u"host-pw");
    EXPECT_TRUE(props.set(u"user.name", u"{a}{b{c}}"));
    EXPECT_TRUE(props.lastSaveSucceeded());
    // Several entries in one write, beside what was there.
    Dictionary<String> binding;
    binding.set(u"device.id", u"77");
    binding.set(u"device.token", u"t{o}k");
    EXPECT_TRUE(props.set(binding));
    EncryptedProperties again(dir.str("properties.cfg"), u"host-pw");
    EXPECT_EQ(String(u"{a}{b{c}}"), again.get(u"user.name"));
    EXPECT_EQ(String(u"77"), again.get(u"device.id"));
    EXPECT_EQ(String(u"t{o}k"), again.get(u"device.token"));
}

TEST(EncryptedProperties, OversizedFileIsNotRead) {
    TempDir dir;
    std::string huge(EncryptedProperties::MAX_FILE_BYTES + 1, 'x');
    huge.replace(0, 5, "a{1}\n");
    dir.writeFile("p.cfg", huge);
    EncryptedProperties props(dir.str("p.cfg"), u"");
    EXPECT_TRUE(props.values().isEmpty());
}

}  // namespace

// The file holds the device binding and the saved password beside whatever
// is set: a save must never leave a file that the next load cannot read,
// nor replace one that this store could not read with the little it knows.
TEST(EncryptedProperties, ASaveNeverLeavesOrReplacesAFileThatCannotBeRead) {
    TempDir dir;
    EncryptedProperties props(dir.str("properties.cfg"), u"host-pw");
    Dictionary<String> binding;
    binding.set(u"device.id", u"77");
    binding.set(u"device.token", u"real-token");
    ASSERT_TRUE(props.set(binding));
    std::string const before = dir.readFile("properties.cfg");

    // Too large, one value or all of them together: refused with the key
    // and the limit, and nothing changes.
    std::u16string const huge(EncryptedProperties::MAX_FILE_BYTES, u'x');
    String const hugeValue(huge.data(), static_cast<int>(huge.size()));
    EXPECT_FALSE(props.set(u"user.name", hugeValue));
    EXPECT_FALSE(props.lastSaveSucceeded());
    EXPECT_EQ(
        "The value of \"user.name\" cannot be stored: the settings file would be larger than 4194304 bytes.",
        utf8(props.lastSaveError()));
    Dictionary<String> many = props.values();
    for (int i = 0; i < 3; ++i)
        many.set(gt::test::str("part" + std::to_string(i)), String(hugeValue.data(), hugeValue.length() / 2));
    EXPECT_FALSE(props.setAll(many));
    EXPECT_NE(std::string::npos, utf8(props.lastSaveError()).find("larger than 4194304 bytes"));
    EXPECT_FALSE(props.values().contains(u"user.name"));
    EXPECT_EQ(2, props.values().count());
    EXPECT_EQ(before, dir.readFile("properties.cfg"));
    // Just below the limit is still stored and reads back.
    EXPECT_TRUE(props.set(u"user.name", String(hugeValue.data(), hugeValue.length() - 4096)));
    EncryptedProperties reread(dir.str("properties.cfg"), u"host-pw");
    EXPECT_TRUE(reread.lastLoadError().isEmpty()) << utf8(reread.lastLoadError());
    EXPECT_EQ(String(u"real-token"), reread.get(u"device.token"));
    ASSERT_TRUE(props.setAll(binding));

    enum Kind { OVERSIZED, FIFO };
    struct Case {
        char const* name;
        Kind kind;
    } const cases[] = {{"larger than a load reads", OVERSIZED}, {"not a regular file", FIFO}};
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir other;
        std::string const file = other.path("properties.cfg");
        std::string const oversized(EncryptedProperties::MAX_FILE_BYTES + 1, 'x');
        if (c.kind == OVERSIZED) other.writeFile("properties.cfg", oversized);
        if (c.kind == FIFO) {
            ASSERT_EQ(0, ::mkfifo(file.c_str(), 0600));
        }
        EncryptedProperties unreadable(other.str("properties.cfg"), u"host-pw");
        ASSERT_FALSE(unreadable.lastLoadError().isEmpty());

        EXPECT_FALSE(unreadable.set(u"user.name", u"bob"));
        EXPECT_FALSE(unreadable.setAll(binding));
        EXPECT_FALSE(unreadable.lastSaveSucceeded());
        EXPECT_EQ(utf8(unreadable.lastLoadError()) +
                      "; it is left as it is rather than replaced by the few settings known here.",
                  utf8(unreadable.lastSaveError()));
        EXPECT_TRUE(unreadable.values().isEmpty());
        struct stat st;
        ASSERT_EQ(0, ::lstat(file.c_str(), &st));
        if (c.kind == OVERSIZED) {
            EXPECT_EQ(oversized, other.readFile("properties.cfg"));
        }
        if (c.kind == FIFO) {
            EXPECT_TRUE(S_ISFIFO(st.st_mode));
        }

        // Once the file reads again, saves go on.
        ASSERT_EQ(0, ::unlink(file.c_str()));
        unreadable.load();
        EXPECT_TRUE(unreadable.set(u"user.name", u"bob"));
        EXPECT_TRUE(unreadable.lastSaveError().isEmpty());
    }
}
