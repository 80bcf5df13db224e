#include "app/util/QtText.h"

#include <gtest/gtest.h>

#include "support/Text.h"

namespace {

using gt::core::String;
using tunnel::fromQString;
using tunnel::toQString;

TEST(QtText, ConversionsStopAtNul) {
    String const withNul(u"ab\0cd", 5);
    EXPECT_EQ(toQString(withNul), QStringLiteral("ab"));
    EXPECT_EQ(toQString(String(u"中文 text")), QStringLiteral("中文 text"));
    QString qt = QStringLiteral("映射");
    qt.append(QChar(0));
    qt.append(QStringLiteral("tail"));
    String const back = fromQString(qt);
    EXPECT_EQ(back.length(), 2);
    EXPECT_EQ(toQString(back), QStringLiteral("映射"));
    EXPECT_TRUE(toQString(String()).isEmpty());
    EXPECT_TRUE(fromQString(QString()).isEmpty());
}

TEST(QtText, CharactersOutsideTheBasicPlaneSurviveBothWays) {
    QString const wide = QString::fromUcs4(U"\U0001F600x");
    EXPECT_EQ(toQString(fromQString(wide)), wide);
    EXPECT_EQ(gt::test::utf8(fromQString(wide)), "\xF0\x9F\x98\x80x");
}

}  // namespace
