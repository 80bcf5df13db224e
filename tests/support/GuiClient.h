// The desktop client's main window against the Python test cloud, for the Qt
// tests of the windows: one cloud per test program (the demo account), the
// window's endpoints pointing at it, its single-instance lock, the saved
// account in the settings file, and a data folder emptied between tests.
// Needs the private home of QtTestMain.h.
#pragma once

#include <QApplication>
#include <QDir>
#include <memory>
#include <string>

#include "app/ClientConstants.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/MainWindow.h"
#include "gt/core/io/FileSystem.h"
#include "support/TestCloud.h"
#include "tunnel/api/EncryptedProperties.h"
#include "tunnel/api/ProcessSingleton.h"

namespace gt {
namespace test {

class GuiClient {
public:
    // The demo account as a person types it (the cloud knows it with "86"
    // in front) and its password.
    static constexpr char const* NAME = "13800000000";
    static constexpr char const* CLOUD_NAME = "8613800000000";
    static constexpr char const* PASSWORD = "demo-password";
    static constexpr char const* SPEC = "tea(qvdemo)";

    GuiClient() : m_cloud("tests/peers/cloud_demo_state.json", {"RELAY=127.0.0.1:9"}) {
        core::createDirectories(tunnel::ClientConstants::DATA_DIR());
    }

    TestCloud& cloud() { return m_cloud; }

    MainWindow::CloudEndpoints endpoints() const {
        core::String const host = core::String::fromUtf8(("127.0.0.1:" + std::to_string(m_cloud.port())).c_str());
        MainWindow::CloudEndpoints endpoints;
        endpoints.apiUrl = core::String(u"http://") + host;
        endpoints.hosts.add(host);
        endpoints.spec = core::String::fromUtf8(SPEC);
        return endpoints;
    }

    // The window as main() makes it: lock taken, then constructed and shown.
    std::unique_ptr<MainWindow> open() {
        auto lock = std::make_unique<tunnel::ProcessSingleton>(tunnel::ClientConstants::APP_LOCK_FILE());
        if (!lock->tryLock()) return nullptr;
        MainWindow::CloudEndpoints const cloud = endpoints();
        auto window = std::make_unique<MainWindow>(std::move(lock), &cloud);
        window->show();
        return window;
    }

    static tunnel::EncryptedProperties settings() {
        return tunnel::EncryptedProperties(tunnel::ClientConstants::PROPERTIES_FILE(),
                                           tunnel::ClientConstants::PROPERTIES_PASSWORD());
    }
    static QString setting(char16_t const* key) { return toQString(settings().get(key)); }
    static void saveAccount(QString const& name, QString const& password) {
        tunnel::EncryptedProperties file = settings();
        file.set(u"user.name", fromQString(name));
        file.set(u"user.pwd", fromQString(password));
    }

    // Every file of the data folder goes; the folder stays.
    static void clearData() {
        QDir dir(toQString(tunnel::ClientConstants::DATA_DIR()));
        for (QString const& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
            dir.remove(name);
    }

private:
    TestCloud m_cloud;
};

}  // namespace test
}  // namespace gt
