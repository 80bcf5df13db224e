#include "app/gui/PlaceholderPage.h"

#include <QLabel>
#include <QToolButton>

PlaceholderPage::PlaceholderPage(QWidget* parent, IMainWindow* mainWindow, QString const& title,
                                 char const* objectName)
    : QWidget(parent), m_mainWindow(mainWindow) {
    setObjectName(QString::fromLatin1(objectName));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#%1 { background: #333; }").arg(objectName));
    if (parent) setGeometry(parent->rect());
    QLabel* label = new QLabel(title, this);
    label->setObjectName(QStringLiteral("labelTitle"));
    label->setStyleSheet(QStringLiteral("font: 16px \"微软雅黑\"; color: #FFF;"));
    label->setGeometry(24, 16, 400, 24);
    label->setProperty("windowMove", true);
    QToolButton* close = new QToolButton(this);
    close->setObjectName(QStringLiteral("btnClose"));
    close->setCursor(Qt::PointingHandCursor);
    close->setStyleSheet(
        QStringLiteral("QToolButton { border-image: url(:/rc/btn_close.png); }"
                       "QToolButton:hover { border-image: url(:/rc/btn_close_hover.png); }"
                       "QToolButton:pressed { border-image: url(:/rc/btn_close_pressed.png); }"));
    close->setGeometry(width() - 48, 16, 32, 24);
    connect(close, &QToolButton::clicked, this, &PlaceholderPage::closePage);
    setProperty("windowMove", true);
    hide();
}

void PlaceholderPage::showPage() {
    show();
    raise();
}

void PlaceholderPage::closePage() { hide(); }
