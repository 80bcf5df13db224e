#include "tunnel/NatTunnel.h"

#include "gt/core/lang/Fatal.h"
#include "gt/core/lang/Integer.h"
#include "gt/core/lang/SystemError.h"
#include "gt/core/util/Dictionary.h"
#include "gt/util/Clock.h"
#include "tunnel/client/DicRpc.h"
#include "tunnel/client/TunnelDatagram.h"
#include "tunnel/forward/Forward.h"

using gt::core::Binary;
using gt::core::String;

namespace tunnel {

namespace {

String _unsignedId(short channelId) {
    return gt::core::Integer(static_cast<unsigned short>(channelId)).toString();
}

}  // namespace

NatTunnel::NatTunnel(gt::net::SocketEventSelector* selector, TunnelConfig const& config, NatAcl* acl,
                     gt::net::SocketAddress const& bind, EngineLog* log)
    : m_selector(selector),
      m_server(config.server),
      m_accessKey(config.accessKey),
      m_protocol(config.protocol),
      m_target(config.target),
      m_acl(acl),
      m_client(selector, TunnelConfig::parseServer(config.server), bind, config.accessKey),
      m_pingTimer(0),
      m_log(log),
      m_averagePing(-1),
      m_dropping(false) {
    GT_ASSERT(m_selector);
    GT_ASSERT(m_acl);
    m_client.onCreated = [this]() {
        m_pingTimer.start(PING_INTERVAL_MS);
        m_pingTimer.advance(m_pingTimer.remaining());
        if (onConnected) onConnected();
    };
    m_client.onError = [this](Error const& error) {
        // A connection failure carries no text of its own: the system's
        // reason (no descriptors, refused, unreachable) goes to the log.
        int const system = m_client.lastSystemError();
        if (error.code == -1 && error.message.isEmpty() && system != 0 && m_log) {
            m_log->warn(u"[Tunnel] Relay connection to " + m_server + u" failed: " +
                        gt::core::systemErrorText(system));
        }
        if (onError) onError(error);
    };
    m_client.onTunnelClosed = [this]() {
        m_averagePing = -1;
        if (onClosed) onClosed();
    };
    m_client.onDatagramBytes = [this](char const* datagram, int length) { _onTunnelBytes(datagram, length); };
    m_client.onSent = [this](int) { _onRelaySent(); };
    m_forward = std::make_unique<Forward>(this, selector, acl, m_protocol, m_target, m_log);
}

NatTunnel::~NatTunnel() {
    m_forward.reset();  // the local connections go before the relay connection
}

void NatTunnel::start() {
    if (m_client.state() == TunnelDataClient::STATE_FAILED && onError) onError(m_client.lastError());
}

bool NatTunnel::isAlive() const {
    return m_client.state() != TunnelDataClient::STATE_FAILED && m_forward != nullptr;
}

void NatTunnel::close() { m_client.close(); }

void NatTunnel::onAclChanged() {
    if (m_forward) m_forward->onAclChanged();
}

int NatTunnel::channelCount() const { return m_forward ? m_forward->channelCount() : 0; }

void NatTunnel::send(short channelId, Binary const& data) {
    if (!m_forward) return;
    int const n = data.length();
    int const maxPayload = RELAY_PAYLOAD;
    long long const frames = n == 0 ? 1 : (static_cast<long long>(n) + maxPayload - 1) / maxPayload;
    // Each frame: size field, version and kind bytes, DATA header.
    long long const queued = n + frames * (4 + 2 + 5);
    if (m_client.sendQueueLength() + queued > DATA_QUEUE_LIMIT) {
        // Dropping the bytes and carrying on would leave a gap in the stream.
        if (m_log)
            m_log->warn(u"[Tunnel] Relay send queue full, closing channelId=" + _unsignedId(channelId));
        m_forward->abort(channelId);
        return;
    }
    for (int pos = 0; pos < n || pos == 0; pos += maxPayload) {
        int const count = n - pos < maxPayload ? n - pos : maxPayload;
        char head[5];
        TunnelDatagram::dataHeader(head, channelId, count);
        if (!m_client.sendDatagram(head, 5, data.data() + pos, count)) {
            m_forward->abort(channelId);
            return;
        }
        if (n == 0) break;
    }
    if (!m_forward->isReadPaused() && m_client.sendQueueLength() >= HIGH_WATER) {
        m_forward->setReadPaused(true);
    }
}

void NatTunnel::_onRelaySent() {
    if (m_forward && m_forward->isReadPaused() && m_client.sendQueueLength() <= LOW_WATER) {
        m_forward->setReadPaused(false);
    }
}

void NatTunnel::window(short channelId, int credit) {
    m_client.sendDatagram(TunnelDatagram::window(channelId, credit));
}

void NatTunnel::shutdown(short channelId) { m_client.sendDatagram(TunnelDatagram::shutdown(channelId)); }

void NatTunnel::_onTunnelRecv(Binary& datagram) { _onTunnelBytes(datagram.data(), datagram.length()); }

void NatTunnel::_onTunnelBytes(char const* datagram, int length) {
    if (!m_forward) return;
    TunnelDatagram dg;
    char const* payload = nullptr;
    int count = 0;
    // A DATA payload goes from the relay's receive stream straight into the
    // local send queue: no copy and no allocation on the way.
    if (!TunnelDatagram::decode(datagram, length, &dg, &payload, &count)) return;
    switch (dg.action) {
        case TunnelDatagram::ACTION_CONNECT: {
            _debug(u"NatTunnel::_onTunnelRecv(): TunnelDatagram::ACTION_CONNECT: channelId=" +
                   _unsignedId(dg.channelId));
            bool const udp = m_protocol == u"udp";
            if ((dg.protocol == TunnelDatagram::PROTOCOL_TCP && udp) ||
                (dg.protocol == TunnelDatagram::PROTOCOL_UDP && !udp)) {
                shutdown(dg.channelId);
                return;
            }
            m_forward->connect(dg.channelId, dg.peer);
            break;
        }
        case TunnelDatagram::ACTION_DATA:
            m_forward->sendBytes(dg.channelId, payload, count);
            break;
        case TunnelDatagram::ACTION_WINDOW:
            m_forward->window(dg.channelId, dg.credit);
            break;
        case TunnelDatagram::ACTION_SHUTDOWN:
            _debug(u"NatTunnel::_onTunnelRecv(): TunnelDatagram::ACTION_SHUTDOWN: channelId=" +
                   _unsignedId(dg.channelId));
            m_forward->shutdown(dg.channelId);
            break;
        default:
            break;
    }
}

double NatTunnel::nextAverage(double average, int rtt) {
    if (average < 0 || average > rtt) return rtt;
    return 0.8 * average + 0.2 * rtt;
}

void NatTunnel::process() {
    if (!isAlive()) return;
    if (_dropLateReply()) return;
    m_forward->process();
    if (m_pingTimer.interval() <= 0 || !m_pingTimer.isExpired()) return;
    DicRpc* rpc = m_client.rpc();
    if (!rpc || rpc->isBusy()) return;
    _ping();
    m_pingTimer.rearm();
}

bool NatTunnel::_dropLateReply() {
    if (m_dropping) return true;
    DicRpc* rpc = m_client.rpc();
    if (!rpc || !rpc->isOverdue()) return false;
    // A relay that keeps the connection busy but never answers would
    // otherwise hold the worker for ever; the owner goes back to choosing a
    // relay once the tunnel has ended.
    Error const late(-1, u"No reply from the relay server to \"" + rpc->pendingMethod() + u"\" within " +
                             gt::core::Integer(DicRpc::REPLY_TIMEOUT_MS / 1000).toString() + u" s");
    m_dropping = true;
    // A round trip that could not be measured is unknown, not the last one.
    m_averagePing = -1;
    if (m_client.state() == TunnelDataClient::STATE_CREATING) {
        m_client.abandon(late);
        return true;
    }
    if (onDropped) onDropped(late);
    m_client.close();
    return true;
}

void NatTunnel::_ping() {
    int const t0 = gt::util::currentMilliseconds();
    m_client.rpc()->call(
        u"ping", gt::core::Dictionary<Binary>(),
        [this, t0](gt::core::Dictionary<Binary> const&) {
            int rtt = gt::util::currentMilliseconds() - t0;
            if (rtt < 0) rtt = 0;
            m_averagePing = nextAverage(m_averagePing, rtt);
            _debug(u"ping: " + gt::core::Integer(static_cast<int>(m_averagePing)).toString() + u"ms");
        },
        [this](Error const&) { m_averagePing = -1; });
}

}  // namespace tunnel
