// Support for Qt Test programs of the desktop client: their main(), the
// filter of platform noise, and driving a modal window from inside its own
// event loop with a deadline.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QColor>
#include <QDesktopServices>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <QtTest>
#include <chrono>
#include <clocale>
#include <functional>

namespace gt {
namespace test {

inline QtMessageHandler& previousQtHandler() {
    static QtMessageHandler handler = nullptr;
    return handler;
}

// Drops the offscreen platform's "This plugin does not support
// propagateSizeHints()" and "... raise()" lines and passes everything else on. Qt Test installs its own
// handler when the run starts, so call this from initTestCase().
inline void filterQtMessages() {
    previousQtHandler() =
        qInstallMessageHandler([](QtMsgType type, QMessageLogContext const& context, QString const& message) {
            if (message.startsWith(QLatin1String("This plugin does not support")) &&
                (message.contains(QLatin1String("propagateSizeHints")) ||
                 message.contains(QLatin1String("raise()"))))
                return;
            if (previousQtHandler()) previousQtHandler()(type, context, message);
        });
}

// Runs action once widget is visible, from inside whatever event loop shows
// it (a dialog's exec). Gives up after ms when it never shows; when the
// action leaves it visible, it is closed ms later so that a test fails
// instead of hanging. Returns a flag that turns true once action ran.
inline std::shared_ptr<bool> whenShown(QWidget* widget, std::function<void()> action, int ms = 5000) {
    using Clock = std::chrono::steady_clock;
    auto ran = std::make_shared<bool>(false);
    auto deadline = std::make_shared<Clock::time_point>(Clock::now() + std::chrono::milliseconds(ms));
    // A child of the widget, so that it goes with it at the latest.
    auto timer = new QTimer(widget);
    QPointer<QWidget> target(widget);
    auto finish = [timer] {
        timer->stop();
        timer->deleteLater();
    };
    QObject::connect(timer, &QTimer::timeout, [=] {
        if (!target) return finish();
        if (!*ran) {
            if (target->isVisible()) {
                *ran = true;
                *deadline = Clock::now() + std::chrono::milliseconds(ms);
                action();
            } else if (Clock::now() > *deadline) {
                finish();
            }
            return;
        }
        if (!target->isVisible()) return finish();
        if (Clock::now() > *deadline) {
            target->close();
            finish();
        }
    });
    timer->start(5);
    return ran;
}

// Clicks the button named name among the children of parent.
inline void click(QWidget* parent, char const* name) {
    auto button = parent->findChild<QAbstractButton*>(QString::fromLatin1(name));
    QVERIFY2(button, name);
    QTest::mouseClick(button, Qt::LeftButton);
}

// Takes the links handed to the desktop for a scheme while it lives
// (QDesktopServices::setUrlHandler).
class UrlSink : public QObject {
    Q_OBJECT
public:
    explicit UrlSink(QString scheme) : m_scheme(std::move(scheme)) {
        QDesktopServices::setUrlHandler(m_scheme, this, "open");
    }
    ~UrlSink() override { QDesktopServices::unsetUrlHandler(m_scheme); }

    QList<QUrl> urls;

public slots:
    void open(QUrl const& url) { urls.append(url); }

private:
    QString m_scheme;
};

// Whether the widget, painted as it is now, draws some pixel within 16 per
// channel of colour: tells a highlighted text or mark from a plain one
// without depending on the font's exact pixels.
inline bool drawsColour(QWidget* widget, QColor const& colour) {
    QImage const image = widget->grab().toImage();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            QColor const pixel = image.pixelColor(x, y);
            if (qAbs(pixel.red() - colour.red()) <= 16 && qAbs(pixel.green() - colour.green()) <= 16 &&
                qAbs(pixel.blue() - colour.blue()) <= 16)
                return true;
        }
    }
    return false;
}

// Types text into the focused widget as key events carrying the text, one
// per character (QTest::keyClicks asserts on characters outside Latin-1).
inline void typeText(QWidget* widget, QString const& text) {
    for (QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

}  // namespace test
}  // namespace gt

// main() of a Qt Test program with a QApplication and locale-free numbers.
#define GT_GUI_TEST_MAIN(TestObject)            \
    int main(int argc, char** argv) {           \
        QApplication app(argc, argv);           \
        std::setlocale(LC_NUMERIC, "C");        \
        TestObject test;                        \
        return QTest::qExec(&test, argc, argv); \
    }
