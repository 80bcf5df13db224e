#include "tunnel/forward/Forward.h"

#include "gt/core/lang/Boolean.h"
#include "gt/core/lang/Fatal.h"
#include "gt/core/lang/Integer.h"
#include "tunnel/forward/tcp/LocalConnector.h"

using gt::core::Integer;
using gt::core::String;
using gt::net::SocketAddress;

namespace tunnel {

Forward::Forward(IActionDown* tunnel, gt::net::SocketEventSelector* selector, NatAcl* acl,
                 String const& protocol, String const& target, EngineLog* log)
    : m_tunnel(tunnel),
      m_acl(acl),
      m_protocol(protocol),
      m_target(target),
      m_clients(selector, acl),
      m_cleanup(CLEANUP_INTERVAL_MS),
      m_maxChannels(MAX_CHANNELS),
      m_readPaused(false),
      m_log(log) {
    GT_ASSERT(m_tunnel);
    GT_ASSERT(m_acl);
}

Forward::~Forward() = default;

SocketAddress Forward::sourceAddress(String const& target, SocketAddress const& peer) {
    int const colon = target.indexOf(u':');
    String const host = colon < 0 ? target : target.left(colon);
    if (host.toLower() != u"loopback") return SocketAddress();
    unsigned const p = peer.address().value();
    unsigned const address = 0x7F000000u | (p >> 8);
    return SocketAddress(gt::net::IpAddress(address),
                         LocalConnector::loopbackSourcePort(static_cast<int>(p & 0xFF)));
}

bool Forward::_passes(gt::net::IpAddress const& peer) const {
    String const text = peer.toString();
    if (m_acl->allows(text)) return true;
    _debug(u"Banned by iptable " + text);
    return false;
}

void Forward::connect(short channelId, SocketAddress const& peer) {
    if (!_passes(peer.address())) {
        m_tunnel->shutdown(channelId);
        return;
    }
    SocketAddress const bind = sourceAddress(m_target, peer);
    ForwardClient* existing = m_clients.find(channelId);
    if (existing && !existing->isAlive()) m_clients.removeClient(channelId);
    if (!existing && m_acl->gateway && _loginsOf(peer.address()) >= MAX_LOGINS_PER_PEER) {
        _debug(u"Too many logins under way from " + peer.address().toString() + u", refused channelId=" +
               Integer(channelId).toString());
        m_tunnel->shutdown(channelId);
        return;
    }
    if (!existing && m_clients.count() >= m_maxChannels) m_clients.removeDeadClients();
    // A full table gives up its oldest unfinished login, so that connections
    // that never log in cannot keep members out.
    if (!existing && m_clients.count() >= m_maxChannels) _dropOldestLogin();
    if (!existing && m_clients.count() >= m_maxChannels) {
        _debug(u"Too many channels, refused channelId=" + Integer(channelId).toString());
        m_tunnel->shutdown(channelId);
        return;
    }

    SocketAddress const target = gt::net::parseSocketAddress(m_target);
    _debug(u"m_clients.createClient: channelId=" + Integer(channelId).toString() + u", address=" +
           target.toString());
    ForwardClient* client = m_clients.createClient(channelId, m_protocol, target, bind, peer);
    if (!client) {
        m_tunnel->shutdown(channelId);
        return;
    }
    IActionDown* tunnel = m_tunnel;
    EngineLog* log = m_log;
    client->setLog(log);
    client->onConnect = [tunnel, channelId, log](bool success) {
        if (log) log->debug(u"forwardClient->onConnect: success=" + gt::core::Boolean(success).toString());
        if (success) {
            tunnel->window(channelId, ForwardClient::INITIAL_WINDOW);
        } else {
            tunnel->shutdown(channelId);
        }
    };
    client->onDisconnect = [tunnel, channelId, log]() {
        if (log) log->debug(u"forwardClient->onDisconnect");
        tunnel->shutdown(channelId);
    };
    client->onRecv = [tunnel, channelId](gt::core::Binary& data) { tunnel->send(channelId, data); };
    client->onWindow = [tunnel, channelId](int credit) { tunnel->window(channelId, credit); };
    if (m_readPaused) client->setReadPaused(true);
    client->start();
}

void Forward::send(short channelId, gt::core::Binary& data) {
    ForwardClient* client = m_clients.find(channelId);
    if (!client) {
        _debug(u"channelId NOT FOUND");
        return;
    }
    client->send(data);
}

void Forward::sendBytes(short channelId, char const* data, int length) {
    ForwardClient* client = m_clients.find(channelId);
    if (!client) {
        _debug(u"channelId NOT FOUND");
        return;
    }
    client->sendBytes(data, length);
}

void Forward::window(short channelId, int credit) {
    ForwardClient* client = m_clients.find(channelId);
    if (!client) {
        _debug(u"channelId NOT FOUND");
        return;
    }
    client->window(credit);
}

void Forward::shutdown(short channelId) {
    _debug(u"Forward::shutdown: channelId=" + Integer(channelId).toString());
    ForwardClient* client = m_clients.find(channelId);
    if (!client) {
        _debug(u"channelId NOT FOUND");
        return;
    }
    client->shutdown();
}

int Forward::_loginsOf(gt::net::IpAddress const& peer) const {
    int n = 0;
    for (auto const& entry : m_clients) {
        ForwardClient const* client = entry.second;
        if (client->isAlive() && client->loginTimeLeft() >= 0 && client->peer().address() == peer) ++n;
    }
    return n;
}

bool Forward::_dropOldestLogin() {
    ForwardClient* oldest = nullptr;
    for (auto const& entry : m_clients) {
        ForwardClient* client = entry.second;
        int const left = client->isAlive() ? client->loginTimeLeft() : -1;
        if (left >= 0 && (!oldest || left < oldest->loginTimeLeft())) oldest = client;
    }
    if (!oldest) return false;
    short const channelId = oldest->channelId();
    _debug(u"Channel table full, dropping an unfinished login channelId=" + Integer(channelId).toString());
    oldest->shutdown();  // answered with SHUTDOWN through onDisconnect
    m_clients.removeClient(channelId);
    return true;
}

void Forward::setReadPaused(bool paused) {
    if (paused == m_readPaused) return;
    m_readPaused = paused;
    for (auto const& entry : m_clients)
        entry.second->setReadPaused(paused);
}

void Forward::abort(short channelId) {
    ForwardClient* client = m_clients.find(channelId);
    if (client) client->abort();
}

void Forward::process() {
    if (!m_cleanup.isExpired()) return;
    // A tick may close a client; none is removed before the loop ends.
    for (auto const& entry : m_clients)
        entry.second->tick();
    m_clients.removeDeadClients();
    m_cleanup.reset();
}

void Forward::onAclChanged() {
    for (auto const& entry : m_clients) {
        ForwardClient* client = entry.second;
        if (!_passes(client->peer().address())) client->shutdown();
        client->onAclChanged();
    }
}

}  // namespace tunnel
