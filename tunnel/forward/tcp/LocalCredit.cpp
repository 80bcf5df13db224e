#include "tunnel/forward/tcp/LocalCredit.h"

#include "tunnel/forward/ForwardClient.h"

namespace tunnel {

LocalCredit::LocalCredit() : m_unwritten(0), m_writtenSum(0) {}

bool LocalCredit::take(int n) {
    m_unwritten += n;
    return m_unwritten <= ForwardClient::MAX_UNWRITTEN;
}

void LocalCredit::consume(int n) {
    m_unwritten -= n;
    m_writtenSum += n;
}

int LocalCredit::written(int n) {
    consume(n);
    if (m_writtenSum <= 0xffff) return 0;
    int const credit = m_writtenSum;
    m_writtenSum = 0;
    return credit;
}

}  // namespace tunnel
