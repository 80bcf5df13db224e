// The desktop client's main window against the Python test cloud, for the Qt
// tests of the windows: one cloud per test program (the demo account), the
// window's endpoints pointing at it, its single-instance lock, the saved
// account in the settings file, and a data folder emptied between tests.
// Its test programs start with GT_GUI_CLIENT_TEST_MAIN, which gives them a
// private home before anything computes a path.
#pragma once

#include <stdlib.h>

#include <cstdlib>

#include <QApplication>
#include <QDir>
#include <memory>
#include <string>

#include "app/ClientConstants.h"
#include "app/gui/GuiUtil.h"
#include "app/gui/MainWindow.h"
#include "gt/core/io/FileSystem.h"
#include "support/GuiTest.h"
#include "support/TempDir.h"
#include "support/TestCloud.h"
#include "tunnel/api/EncryptedProperties.h"
#include "tunnel/api/ProcessSingleton.h"

namespace gt {
namespace test {

// The shared data folder (GT_COMMON_APPDATA), the per-user settings
// (XDG_CONFIG_HOME) and our service registry (GT_SERVICE_REGISTRY) in a fresh
// temporary folder, removed at the end; made before the client computes its
// paths, which it does once per process.
class GuiClientHome {
public:
    GuiClientHome() {
        ::setenv("GT_COMMON_APPDATA", m_dir.path("appdata").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", m_dir.path("config").c_str(), 1);
        ::setenv("GT_SERVICE_REGISTRY", m_dir.path("services").c_str(), 1);
    }

private:
    TempDir m_dir;
};

class GuiClient {
public:
    // The demo account as a person types it (the cloud knows it with "86"
    // in front) and its password.
    static constexpr char const* NAME = "13800000000";
    static constexpr char const* CLOUD_NAME = "8613800000000";
    static constexpr char const* PASSWORD = "demo-password";
    static constexpr char const* SPEC = "tea(qvdemo)";

    // For the test's initTestCase: closing a window in a test does not end
    // the application, and the offscreen platform's notices are dropped.
    static constexpr char const* STATE = "tests/peers/cloud_demo_state.json";

    GuiClient() : m_cloud(STATE, {"RELAY=127.0.0.1:9"}) {
        core::createDirectories(tunnel::ClientConstants::DATA_DIR());
        filterQtMessages();
        QApplication::setQuitOnLastWindowClosed(false);
    }

    TestCloud& cloud() { return m_cloud; }

    MainWindow::CloudEndpoints endpoints() const {
        core::String const host =
            core::String::fromUtf8(("127.0.0.1:" + std::to_string(m_cloud.port())).c_str());
        MainWindow::CloudEndpoints endpoints;
        endpoints.apiUrl = core::String(u"http://") + host;
        endpoints.hosts.add(host);
        endpoints.spec = core::String::fromUtf8(SPEC);
        return endpoints;
    }

    // The cloud's demo device, which the demo account holds.
    static constexpr long long DEVICE_ID = 10;
    static constexpr char const* DEVICE_TOKEN = "demo-device-token";

    // Whether open() binds this computer to the demo device first (when no
    // binding is saved yet), so that the binding check after login asks
    // nothing.
    enum Binding { BIND_DEMO_DEVICE, KEEP_BINDING };

    // The window as main() makes it: lock taken, then constructed and shown.
    std::unique_ptr<MainWindow> open(Binding binding = BIND_DEMO_DEVICE) {
        if (binding == BIND_DEMO_DEVICE && setting(u"device.token").isEmpty())
            saveDevice(DEVICE_ID, DEVICE_TOKEN);
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
    static void saveDevice(long long id, QString const& token) {
        tunnel::EncryptedProperties file = settings();
        file.set(u"device.id", fromQString(QString::number(id)));
        file.set(u"device.token", fromQString(token));
    }
    static void saveAccount(QString const& name, QString const& password) {
        tunnel::EncryptedProperties file = settings();
        file.set(u"user.name", fromQString(name));
        file.set(u"user.pwd", fromQString(password));
    }

    // For the test's cleanup: the window goes (it logs out and stops its
    // service program), then every file of the data folder, the cloud's
    // faults, its record of calls and what the test changed in its state.
    void reset(std::unique_ptr<MainWindow>& window) {
        window.reset();
        clearData();
        m_cloud.command("clear");
        m_cloud.command("forget");
        char const* source = std::getenv("GT_SOURCE_DIR");
        m_cloud.command(std::string("{\"cmd\": \"load\", \"state\": {\"path\": \"") +
                        (source ? source : GT_SOURCE_DIR) + "/" + STATE + "\"}}");
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

// main() of a Qt Test program of the client's windows; its home is made
// before main runs.
#define GT_GUI_CLIENT_TEST_MAIN(TestObject)                 \
    static ::gt::test::GuiClientHome const s_guiClientHome; \
    GT_GUI_TEST_MAIN(TestObject)
