// Flow-control bookkeeping of one channel's relay-to-local direction: bytes
// the relay sent that are not yet written locally (capped, so a relay that
// ignores its credit cannot make us buffer without bound), and bytes written
// locally that are not yet granted back to the relay.
#pragma once

namespace tunnel {

class LocalCredit {
public:
    LocalCredit();

    // n more bytes arrived from the relay; false once more than the cap is
    // outstanding (the channel must then be shut down).
    bool take(int n);
    // n bytes were used up without a grant of their own (they count towards
    // the next grant).
    void consume(int n);
    // n bytes were written locally: the credit to grant the relay now, or 0
    // while less than 64 KiB has gathered.
    int written(int n);

    int unwritten() const { return m_unwritten; }

private:
    int m_unwritten;   // bytes of the relay not yet written locally
    int m_writtenSum;  // bytes written locally and not yet granted back
};

}  // namespace tunnel
