#include "app/util/Clipboard.h"

#include <memory>
#include <thread>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <gtest/gtest.h>

#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Text.h"

namespace {

using gt::core::String;
using gt::test::str;
using tunnel::Clipboard;

// A QGuiApplication on the offscreen platform for each test.
class ClipboardTest : public ::testing::Test {
protected:
    ClipboardTest() { m_app.reset(new QGuiApplication(m_argc, m_argv)); }

private:
    gt::test::TempDir m_runtime;
    gt::test::ScopedEnv m_platform{"QT_QPA_PLATFORM", "offscreen"};
    gt::test::ScopedEnv m_runtimeDir{"XDG_RUNTIME_DIR", m_runtime.path().c_str()};
    int m_argc = 1;
    char m_name[16] = "clipboard_test";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QGuiApplication> m_app;
};

TEST(ClipboardWithoutApplication, FailsWithoutTouchingTheOutput) {
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    EXPECT_FALSE(Clipboard::setText(u"x"));
    String out(u"kept");
    EXPECT_FALSE(Clipboard::getText(&out));
    EXPECT_EQ(out, String(u"kept"));
}

TEST_F(ClipboardTest, TextRoundTripsWithEveryCharacter) {
    for (String const& text : {String(u"tcp.example.net:34567"), str("映射地址 ÄÖÜ \xF0\x9F\x98\x80"),
                               String(u"line\r\nbreak\ttab")}) {
        SCOPED_TRACE(gt::test::utf8(text));
        ASSERT_TRUE(Clipboard::setText(text));
        String out;
        ASSERT_TRUE(Clipboard::getText(&out));
        EXPECT_EQ(out, text);
        // Other programs see the same text.
        EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf16(text.data(), text.length()));
    }
    EXPECT_FALSE(Clipboard::getText(nullptr));
}

TEST_F(ClipboardTest, NoTextOnTheClipboardIsAFailure) {
    auto* data = new QMimeData;
    data->setData("application/x-other", QByteArray("bytes"));
    QGuiApplication::clipboard()->setMimeData(data);
    String out(u"kept");
    EXPECT_FALSE(Clipboard::getText(&out));
    EXPECT_EQ(out, String(u"kept"));
}

TEST_F(ClipboardTest, AnotherThreadCannotReachIt) {
    ASSERT_TRUE(Clipboard::setText(u"main"));
    bool set = true;
    bool got = true;
    std::thread other([&] {
        set = Clipboard::setText(u"other");
        String out;
        got = Clipboard::getText(&out);
    });
    other.join();
    EXPECT_FALSE(set);
    EXPECT_FALSE(got);
    String out;
    ASSERT_TRUE(Clipboard::getText(&out));
    EXPECT_EQ(out, String(u"main"));
}

}  // namespace
