// The kind wizard on its own: the kind it reports, and what a cancel leaves.
#include <QRadioButton>
#include <QtTest>

#include "app/gui/ForwardWizardDialog.h"
#include "support/GuiTest.h"
#include "support/RadioRing.h"

using gt::test::click;
using gt::test::Ring;
using gt::test::ringOf;
using gt::test::whenShown;

class ForwardWizardDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { gt::test::filterQtMessages(); }

    void reportsTheCheckedKind_data() {
        QTest::addColumn<QString>("radio");
        QTest::addColumn<int>("kind");
        // The native kind is checked when the dialog opens.
        QTest::newRow("at once") << QString() << int(ForwardWizardDialog::KIND_NATIVE);
        QTest::newRow("website") << "radioWeb" << int(ForwardWizardDialog::KIND_WEBSITE);
        QTest::newRow("native again") << "radioStandard" << int(ForwardWizardDialog::KIND_NATIVE);
    }
    void reportsTheCheckedKind() {
        QFETCH(QString, radio);
        QFETCH(int, kind);
        ForwardWizardDialog dialog(nullptr);
        whenShown(&dialog, [&] {
            if (!radio.isEmpty()) dialog.findChild<QRadioButton*>(radio)->click();
            click(&dialog, "btnOk");
        });
        int chosen = -1;
        QVERIFY(dialog.select(&chosen));
        QCOMPARE(chosen, kind);
    }

    void proxyIsShownButNotOffered() {
        ForwardWizardDialog dialog(nullptr);
        QRadioButton* proxy = dialog.findChild<QRadioButton*>("radioProxy");
        QVERIFY(proxy);
        QVERIFY(!proxy->isEnabled());
        QTest::mouseClick(proxy, Qt::LeftButton);
        QVERIFY(!proxy->isChecked());
    }

    // Each indicator is a whole circle inside its button, and the disabled
    // one stands out from the grey as clearly as an unchecked one that can
    // be chosen.
    void indicatorsAreWholeAndVisible() {
        ForwardWizardDialog dialog(nullptr);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        for (char const* name : {"radioStandard", "radioWeb", "radioProxy"}) {
            Ring const ring = ringOf(&dialog, dialog.findChild<QRadioButton*>(name));
            QVERIFY2(ring.bounds.left() > 0, name);
            QVERIFY2(ring.bounds.width() == ring.bounds.height(), qPrintable(QString("%1: %2x%3 at %4")
                                                                                 .arg(name)
                                                                                 .arg(ring.bounds.width())
                                                                                 .arg(ring.bounds.height())
                                                                                 .arg(ring.bounds.left())));
        }
        Ring const choosable = ringOf(&dialog, dialog.findChild<QRadioButton*>("radioWeb"));
        Ring const disabled = ringOf(&dialog, dialog.findChild<QRadioButton*>("radioProxy"));
        QVERIFY2(disabled.contrast >= choosable.contrast,
                 qPrintable(QString("%1 < %2").arg(disabled.contrast).arg(choosable.contrast)));
    }

    void cancelLeavesTheKindAlone_data() {
        QTest::addColumn<QString>("button");
        QTest::newRow("cancel") << "btnCancel";
        QTest::newRow("close") << "btnClose";
    }
    void cancelLeavesTheKindAlone() {
        QFETCH(QString, button);
        ForwardWizardDialog dialog(nullptr);
        whenShown(&dialog, [&] {
            dialog.findChild<QRadioButton*>("radioWeb")->click();
            click(&dialog, button.toLatin1().constData());
        });
        int chosen = 42;
        QVERIFY(!dialog.select(&chosen));
        QCOMPARE(chosen, 42);
    }

    void noOutputOpensNothing() {
        ForwardWizardDialog dialog(nullptr);
        auto shown = whenShown(
            &dialog, [&] { dialog.reject(); }, 200);
        QVERIFY(!dialog.select(nullptr));
        QVERIFY(!*shown);
    }
};

GT_GUI_TEST_MAIN(ForwardWizardDialogTest)
#include "ForwardWizardDialog_test.moc"
