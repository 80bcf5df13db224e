// The key names of the status report, the JSON object that the service
// program writes into the status mailbox and the desktop client reads:
//   {"forwards": [{"id", "ping", "channels", "error"}, ...]}
// one entry per forward worker; "error" only when there is one. Both sides
// spell the keys from here, so a renamed key cannot split them;
// tests/data/status pins the bytes between them.
#pragma once

namespace tunnel {

class StatusReport {
public:
    // The list of forward entries.
    static constexpr char16_t KEY_FORWARDS[] = u"forwards";
    // Of one entry: the forward's id, the relay round trip in ms (negative:
    // no tunnel), the number of open channels, the worker's last error.
    static constexpr char16_t KEY_ID[] = u"id";
    static constexpr char16_t KEY_PING[] = u"ping";
    static constexpr char16_t KEY_CHANNELS[] = u"channels";
    static constexpr char16_t KEY_ERROR[] = u"error";
};

}  // namespace tunnel
