// The slide of the main window's panels: where it starts after the panel was
// resized (as scaling does once the window is built), where it ends, and the
// end of a slide out.
#include "app/gui/PageSlide.h"

#include <QWidget>

#include "support/GuiTest.h"

namespace {

// A body with a panel over it, built at one size and then resized, as the
// main window builds its pages and scales them afterwards.
struct Body {
    QWidget body;
    QWidget* panel;
    PageSlide slide;
    int slidOut = 0;

    explicit Body(PageSlide::Side side) : panel(new QWidget(&body)), slide(panel, side) {
        body.resize(720, 448);
        panel->setGeometry(0, 0, 720, 448);
        slide.onSlidOut = [this] { ++slidOut; };
        panel->resize(900, 560);
        body.resize(900, 560);
    }
};

}  // namespace

class PageSlideTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { gt::test::filterQtMessages(); }

    void startsOutsideThePanelsPresentHeight_data() {
        QTest::addColumn<int>("side");
        QTest::addColumn<QPoint>("outside");
        QTest::newRow("from below") << int(PageSlide::FROM_BELOW) << QPoint(0, 560);
        QTest::newRow("from above") << int(PageSlide::FROM_ABOVE) << QPoint(0, -560);
    }
    void startsOutsideThePanelsPresentHeight() {
        QFETCH(int, side);
        QFETCH(QPoint, outside);
        Body body(static_cast<PageSlide::Side>(side));
        body.body.show();
        body.slide.slideIn();
        QCOMPARE(body.panel->pos(), outside);
        QTRY_COMPARE(body.panel->pos(), QPoint(0, 0));
        QVERIFY(!body.slide.isSlidingOut());
        QCOMPARE(body.slidOut, 0);

        body.slide.slideOut();
        QVERIFY(body.slide.isSlidingOut());
        QCOMPARE(body.panel->pos(), QPoint(0, 0));
        QTRY_COMPARE(body.slidOut, 1);
        QCOMPARE(body.panel->pos(), outside);
        QVERIFY(!body.slide.isSlidingOut());
    }

    void aSlideInStopsASlideOut() {
        Body body(PageSlide::FROM_BELOW);
        body.body.show();
        body.slide.slideIn();
        QTRY_COMPARE(body.panel->pos(), QPoint(0, 0));
        body.slide.slideOut();
        body.slide.slideIn();
        QVERIFY(!body.slide.isSlidingOut());
        QTRY_COMPARE(body.panel->pos(), QPoint(0, 0));
        // Longer than a slide: the stopped slide out never reports its end.
        QTest::qWait(3 * PageSlide::DURATION_MS);
        QCOMPARE(body.slidOut, 0);
        QCOMPARE(body.panel->pos(), QPoint(0, 0));
    }
};

GT_GUI_TEST_MAIN(PageSlideTest)
#include "PageSlide_test.moc"
