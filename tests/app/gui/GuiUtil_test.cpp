#include "app/gui/GuiUtil.h"

#include <QDesktopServices>
#include <QUrl>
#include <cmath>
#include <limits>

#include "support/GuiTest.h"
#include "support/ShownText.h"

class GuiUtilTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { gt::test::filterQtMessages(); }

    // Text from outside shows as it is, markup or not; text without markup
    // is passed through unchanged.
    void plainToolTipShowsTheTextLiterally() {
        struct Case {
            char const* text;
            bool unchanged;
        } const cases[] = {
            {"relay refused", true},
            {"", true},
            // Qt takes "< b ... >" for a tag: escaped too, and still shown as it is.
            {"a < b && c > d", false},
            {"<img src=\"/dev/zero\">", false},
            {"<b>bold</b> & <i>more</i>", false},
            {"<a href='x'>link</a> and <br> a break", false},
            // Qt looks at the first line only: shown plain as it is.
            {"first line\n<span>second</span>", true},
            {"<span>first</span>\nsecond line", false},
        };
        for (auto const& c : cases) {
            QString const text = QString::fromUtf8(c.text);
            QString const tip = plainToolTip(text);
            QCOMPARE(gt::test::shownText(tip), text);
            QVERIFY2((tip == text) == c.unchanged, c.text);
        }
    }

    void formatNumberTable() {
        struct Case {
            double value;
            char const* text;
        } const cases[] = {
            {0, "0"},
            {0.005, "0"},
            {0.00999, "0"},
            {0.01, "0.01"},
            {-5, "0"},
            {-0.5, "0"},
            {std::nan(""), "0"},
            {1, "1.00"},
            // Two decimals below 10, rounded by the format.
            {9.999, "10.00"},
            {10, "10.0"},
            {12.345, "12.3"},
            // One decimal: still below 100.
            {99.99, "100.0"},
            {100, "100"},
            {1023.6, "1024"},
            {1e6, "1000000"},
        };
        for (auto const& c : cases) {
            QCOMPARE(toQString(formatNumber(c.value)), QString::fromUtf8(c.text));
        }
    }

    void formatTrafficTable() {
        struct Case {
            long long bytes;
            char const* text;
        } const cases[] = {
            {0, "0 M"},
            {-1, "0 M"},
            {-(5LL << 30), "0 M"},  // negative counts stay in M and show 0
            {1048576, "1.00 M"},
            {100LL << 20, "100 M"},
            {1073741823, "1024 M"},
            {1073741824, "1.00 G"},
            {5LL << 30, "5.00 G"},
            {1500LL << 30, "1500 G"},
            {std::numeric_limits<long long>::max(), "8589934592 G"},
        };
        for (auto const& c : cases) {
            QCOMPARE(toQString(formatTraffic(c.bytes)), QString::fromUtf8(c.text));
        }
    }

    void numbersStayLocaleFree() {
        // The client sets LC_NUMERIC to "C"; the formats must not depend on it.
        if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) QSKIP("no locale with a decimal comma installed");
        QString text = toQString(formatNumber(1.5));
        std::setlocale(LC_NUMERIC, "C");
        QCOMPARE(text, QStringLiteral("1.50"));
    }

    void openUrlHandsEncodedLinksToTheHandler() {
        gt::test::UrlSink sink(QStringLiteral("qvtest"));
        openUrl(QStringLiteral("qvtest:///repair?type=svr"));
        openUrl(QStringLiteral("qvtest:///path?q=%E4%B8%AD"));
        QCOMPARE(sink.urls.size(), 2);
        QCOMPARE(sink.urls[0].path(), QStringLiteral("/repair"));
        QCOMPARE(sink.urls[0].query(), QStringLiteral("type=svr"));
        // Already encoded text is read as encoded, not encoded again.
        QCOMPARE(sink.urls[1].query(QUrl::FullyDecoded), QStringLiteral("q=中"));
    }

    void themeColourIsTheAccent() {
        QCOMPARE(themeColor(), QColor(0xFF, 0xA9, 0x24));
        QCOMPARE(themeColor().name(), QStringLiteral("#ffa924"));
    }
};

GT_GUI_TEST_MAIN(GuiUtilTest)
#include "GuiUtil_test.moc"
