#include "gt/core/io/Mailbox.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/TempDir.h"
#include "support/Text.h"

using gt::core::Binary;
using gt::core::Mailbox;
using gt::test::TempDir;

namespace {

bool isEmptyRegularFile(std::string const& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size == 0;
}

}  // namespace

// What the reader's step finds, and that it leaves an empty mailbox behind
// (except while a message is still being written below the cap).
TEST(Mailbox, TakeStates) {
    struct Case {
        char const* name;
        char const* setup;  // "absent", "link", "fifo", or the content
        Mailbox::Taken taken;
        std::string message;
    } const cases[] = {
        {"absent: created empty", "absent", Mailbox::NOTHING, ""},
        {"a link: replaced, never followed", "link", Mailbox::NOTHING, ""},
        {"a FIFO: replaced without waiting", "fifo", Mailbox::NOTHING, ""},
        {"empty", "", Mailbox::NOTHING, ""},
        {"a message", "exit", Mailbox::MESSAGE, "exit"},
        {"at the cap", "12345678", Mailbox::MESSAGE, "12345678"},
        {"above the cap: emptied unread", "123456789", Mailbox::OVERSIZED, ""},
    };
    for (Case const& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.writeFile("victim", "keep");
        std::string const path = dir.path("box/mail");
        std::string const setup = c.setup;
        if (setup != "absent") {
            ASSERT_EQ(::mkdir(dir.path("box").c_str(), 0700), 0);
            if (setup == "link") {
                ASSERT_EQ(::symlink(dir.path("victim").c_str(), path.c_str()), 0);
            } else if (setup == "fifo") {
                ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
            } else {
                dir.writeFile("box/mail", setup);
            }
        }
        Binary out(2, 'z');
        EXPECT_EQ(Mailbox::take(dir.str("box/mail"), 8, &out), c.taken);
        EXPECT_EQ(gt::test::bytes(out), c.message);
        EXPECT_TRUE(isEmptyRegularFile(path));
        EXPECT_EQ(dir.readFile("victim"), "keep");
        EXPECT_FALSE(dir.exists("box/mail.new"));
    }
}

// A sender writes only into an empty regular file; the reader's replace can
// wait for the mailbox to be (still) empty.
TEST(Mailbox, SendAndReplaceWhileEmpty) {
    TempDir dir;
    EXPECT_FALSE(Mailbox::send(dir.str("mail"), gt::test::bin("exit")));  // no reader
    dir.writeFile("mail", "");
    EXPECT_TRUE(Mailbox::isEmpty(dir.str("mail")));
    EXPECT_TRUE(Mailbox::send(dir.str("mail"), gt::test::bin("exit")));
    EXPECT_FALSE(Mailbox::send(dir.str("mail"), gt::test::bin("refresh")));  // not empty
    EXPECT_EQ(dir.readFile("mail"), "exit");
    EXPECT_FALSE(Mailbox::replace(dir.str("mail"), gt::test::bin("report"), true));
    EXPECT_EQ(dir.readFile("mail"), "exit");
    EXPECT_FALSE(dir.exists("mail.new"));
    EXPECT_TRUE(Mailbox::replace(dir.str("mail"), gt::test::bin("report")));
    EXPECT_EQ(dir.readFile("mail"), "report");
}
