// The desktop client logged into the account of the forward tests: the test
// cloud loaded with tests/data/gui/forwards_state.json (two devices, four
// regions, their nodes, five forwards, one access policy), this computer
// bound as device 10, the window open and its service program stopped, so
// that only the test hands status reports to the mapping page.
#pragma once

#include <QString>
#include <QtTest>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/gui/MainWindow.h"
#include "gt/net/socket/Socket.h"
#include "gt/net/socket/SocketAddress.h"
#include "support/GuiClient.h"

namespace gt {
namespace test {

// A LAN target on 127.0.0.1 that answers connects (the system's accept
// queue does; nobody accepts), on a port the system picked.
class ListeningPort {
public:
    ListeningPort() {
        m_socket.bind(gt::net::SocketAddress(gt::net::IpAddress(0x7F000001u), 0));
        m_socket.listen();
    }
    int port() const { return m_socket.localAddress().port(); }
    // A port that nothing listens on: bound once, then given back.
    static int closedPort() {
        ListeningPort probe;
        return probe.port();
    }

private:
    gt::net::Socket m_socket{gt::net::Socket::TYPE_TCP};
};

class GuiForwardAccount {
public:
    static constexpr int LOGIN_MS = 30000;
    static constexpr long long LOCAL_DEVICE = 10;
    static constexpr long long OTHER_DEVICE = 11;

    GuiForwardAccount() : m_client(std::make_unique<GuiClient>()) {}

    GuiClient& client() { return *m_client; }
    TestCloud& cloud() { return m_client->cloud(); }
    MainWindow* window() { return m_window.get(); }

    // Fresh cloud state and settings, then the window, logged in. False
    // (after a test failure) when the login did not happen in time.
    bool open() {
        char const* source = std::getenv("GT_SOURCE_DIR");
        std::string const path =
            std::string(source ? source : GT_SOURCE_DIR) + "/tests/data/gui/forwards_state.json";
        if (cloud().command("{\"cmd\": \"load\", \"state\": {\"path\": \"" + path + "\"}}") != "ok")
            return false;
        tunnel::EncryptedProperties settings = GuiClient::settings();
        settings.set(u"device.id", u"10");
        settings.set(u"device.token", u"demo-device-token");
        GuiClient::saveAccount(GuiClient::NAME, GuiClient::PASSWORD);
        m_window = m_client->open();
        if (!m_window) return false;
        if (!QTest::qWaitFor([this] { return m_window->isLoggedIn(); }, LOGIN_MS)) return false;
        m_window->svrControl()->killConsole();
        cloud().command("forget");
        return true;
    }

    // The window goes, with the data folder, the faults and the record of calls.
    void close() { m_client->reset(m_window); }

private:
    std::unique_ptr<GuiClient> m_client;
    std::unique_ptr<MainWindow> m_window;
};

}  // namespace test
}  // namespace gt
