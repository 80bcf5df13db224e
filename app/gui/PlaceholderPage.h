// A page of the main window that is not built yet: it covers the window's
// body with its title and a close button, and comes and goes as the real
// page will (showPage, closePage). The pages derive from it until their own
// forms replace it.
#pragma once

#include <QWidget>

class IMainWindow;

class PlaceholderPage : public QWidget {
    Q_OBJECT

public:
    // parent: the main window's body; mainWindow is not owned and outlives
    // the page. The page starts hidden.
    PlaceholderPage(QWidget* parent, IMainWindow* mainWindow, QString const& title, char const* objectName);

    void showPage();
    void closePage();

protected:
    IMainWindow* m_mainWindow;  // not owned
};
