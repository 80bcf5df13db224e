#include "app/gui/UiScale.h"

#include <QFile>
#include <QLabel>
#include <QWidget>

#include "app/gui/GuiUtil.h"
#include "support/GuiTest.h"

class UiScaleTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { gt::test::filterQtMessages(); }
    void cleanup() { UiScale::setFactor(0); }

    void scaledTable() {
        struct Case {
            double factor;
            double value;
            int result;
        } const cases[] = {
            {1.25, 40, 50},
            {1.25, 136, 170},
            {1.25, 11, 14},  // 13.75: odd integer part, rounded
            {1.25, 9, 11},   // 11.25 rounds down
            {1.25, 10, 12},  // 12.5: even integer part, kept
            {1.5, 3, 4},     // 4.5: even, kept
            {1.5, 5, 8},     // 7.5: odd, halves away from zero
            {1.5, -5, -8},
            {1, 28, 28},
            {2, 0, 0},
            {1.75, 28, 49},
            {1e6, 1e6, 2147483647},  // clamped, never undefined
        };
        for (auto const& c : cases) {
            QCOMPARE(UiScale::scaled(c.value, c.factor), c.result);
        }
        UiScale::setFactor(1.25);
        QCOMPARE(UiScale::scaled(40), 50);
    }

    void factorFollowsTheScreenUnlessFixed() {
        // Offscreen, Qt reports the logical DPI of an unscaled screen.
        QCOMPARE(UiScale::factor(), 1.0);
        UiScale::setFactor(1.5);
        QCOMPARE(UiScale::factor(), 1.5);
        UiScale::setFactor(0);
        QCOMPARE(UiScale::factor(), 1.0);
    }

    void imageNames() {
        struct Case {
            double factor;
            char16_t const* name;
            char16_t const* result;
        } const cases[] = {
            {1, u":/rc/btn_close.png", u":/rc/btn_close.png"},
            {0.5, u":/rc/btn_close.png", u":/rc/btn_close.png"},
            {1.25, u":/rc/btn_close.png", u":/rc/btn_close@1.25x.png"},
            {1.5, u":/rc/btn_close.png", u":/rc/btn_close@1.5x.png"},
            {2, u":/rc/btn_close.png", u":/rc/btn_close@2x.png"},
            {1.1, u"a.png b.png", u"a@1.1x.png b@1.1x.png"},
            {2, u"noext", u"noext"},
        };
        for (auto const& c : cases) {
            QCOMPARE(toQString(UiScale::imageName(c.name, c.factor)), toQString(c.result));
        }
    }

    void findImageFallsBackInOrder() {
        struct Case {
            double factor;
            char16_t const* name;
            char16_t const* result;
        } const cases[] = {
            {1, u":/rc/btn_close.png", u":/rc/btn_close.png"},
            {1.25, u":/rc/btn_close.png", u":/rc/btn_close@1.25x.png"},  // 120 DPI
            {1.5, u":/rc/btn_close.png", u":/rc/btn_close@1.5x.png"},    // 144 DPI
            {110 / 96.0, u":/rc/btn_close.png", u":/rc/btn_close@2x.png"},
            {3, u":/rc/btn_close.png", u":/rc/btn_close@2x.png"},
            {1.25, u":/rc/missing.png", u":/rc/missing.png"},
        };
        for (auto const& c : cases) {
            QCOMPARE(toQString(UiScale::findImage(c.name, c.factor)), toQString(c.result));
        }
        UiScale::setFactor(1.5);
        QCOMPARE(toQString(UiScale::image(u":/rc/icon_msgbox_warning.png")),
                 QStringLiteral(":/rc/icon_msgbox_warning@1.5x.png"));
    }

    void everyImageHasItsVariants() {
        QStringList names = {"bg_shadow",
                             "bg_float",
                             "btn_close",
                             "btn_close_hover",
                             "btn_close_pressed",
                             "btn_min",
                             "icon_msgbox_question",
                             "icon_inputbox",
                             "icon_logo",
                             "icon_main"};
        for (QString const& name : names) {
            for (QString suffix : {"", "@1.25x", "@1.5x", "@2x"}) {
                QString path = QStringLiteral(":/rc/") + name + suffix + QStringLiteral(".png");
                QVERIFY2(QFile::exists(path), qPrintable(path));
            }
        }
    }

    void styleSheetRewrite() {
        struct Case {
            double factor;
            char const* sheet;
            char const* result;
        } const cases[] = {
            {1.25, "font: 24px;", "font: 30px;"},
            {1.25, "border:0px solid;", "border:0px solid;"},  // no blank before the length
            {1.25, "height:0px; min-height: 20", "height:0px; min-height: 20"},
            {1.25, "padding: 5px 8px;", "padding: 6px 10px;"},           // 6.25, 10
            {1.5, "width: 3px 5px;", "width: 5px 8px;"},                 // 4.5 and 7.5 round away from zero
            {1.25, "width: 100px;", "width: 100px;"},                    // only lengths below 100
            {2, "a: 2px; b: 4px; c: 8px;", "a: 4px; b: 8px; c: 16px;"},  // never scaled twice
            {1.25, "border-image: url(:/rc/btn_close.png) 5;",
             "border-image: url(':/rc/btn_close@1.25x.png') 5;"},
            {1.5, "image: url( \" :/rc/btn_min.png \" );", "image: url(':/rc/btn_min@1.5x.png');"},
            {1.25, "a: url('relative/x.png'); b: url(); c", "a: url('relative/x.png'); b: ; c"},
            {1.25, "a: url(:/rc/missing.png)", "a: url(':/rc/missing.png')"},
            {1.25, "broken: url(:/rc/btn_min.png", "broken: url(:/rc/btn_min.png"},
            {1.25, "x: url(:/rc/btn_min.png) y: url(:/rc/btn_close.png) z",
             "x: url(':/rc/btn_min@1.25x.png') y: url(':/rc/btn_close@1.25x.png') z"},
        };
        for (auto const& c : cases) {
            QCOMPARE(UiScale::scaleStyleSheet(QString::fromUtf8(c.sheet), c.factor),
                     QString::fromUtf8(c.result));
        }
    }

    void applyScalesTheWholeForm() {
        QWidget root;
        root.resize(418, 226);
        root.setMinimumSize(100, 50);
        root.setStyleSheet(QStringLiteral("font: 12px;"));
        auto label = new QLabel(&root);
        label->setGeometry(24, 16, 312, 24);
        label->setStyleSheet(QStringLiteral("border-image: url(:/rc/btn_close.png); font: 16px;"));
        auto fixed = new QWidget(&root);
        fixed->setGeometry(9, 11, 40, 40);
        fixed->setFixedSize(40, 40);

        UiScale::apply(&root, 1.25);
        QCOMPARE(root.pos(), QPoint(0, 0));
        QCOMPARE(root.size(), QSize(522, 282));        // 522.5 (even part kept), 282.5
        QCOMPARE(root.minimumSize(), QSize(125, 62));  // 125 odd: rounded, 62.5: kept
        QCOMPARE(root.styleSheet(), QStringLiteral("font: 15px;"));
        QCOMPARE(label->geometry(), QRect(30, 20, 390, 30));
        QCOMPARE(label->styleSheet(),
                 QStringLiteral("border-image: url(':/rc/btn_close@1.25x.png'); font: 20px;"));
        // A fixed size grows with the form rather than clamping it.
        QCOMPARE(fixed->pos(), QPoint(11, 14));
        QCOMPARE(fixed->size(), QSize(50, 50));
    }

    void applyAtOneOrWithoutRootChangesNothing() {
        QWidget root;
        root.resize(418, 226);
        auto label = new QLabel(&root);
        label->setGeometry(24, 16, 312, 24);
        label->setStyleSheet(QStringLiteral("image: url(:/rc/btn_close.png); font: 16px;"));
        UiScale::apply(&root, 1.0);
        UiScale::apply(nullptr, 1.25);
        UiScale::apply(&root);  // the offscreen screen: factor 1
        QCOMPARE(root.size(), QSize(418, 226));
        QCOMPARE(label->geometry(), QRect(24, 16, 312, 24));
        QCOMPARE(label->styleSheet(), QStringLiteral("image: url(:/rc/btn_close.png); font: 16px;"));
    }
};

GT_GUI_TEST_MAIN(UiScaleTest)
#include "UiScale_test.moc"
