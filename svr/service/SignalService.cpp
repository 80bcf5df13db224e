#include "svr/service/SignalService.h"

#include "gt/core/lang/Fatal.h"
#include "svr/IContext.h"
#include "svr/SvrConstants.h"
#include "svr/service/AccountService.h"

using gt::core::Binary;
using gt::core::String;

namespace tunnel {

SignalService::SignalService(IContext* context) : SignalService(context, SvrConstants::signalFile()) {}

SignalService::SignalService(IContext* context, String const& path)
    : m_context(context), m_timer(1000), m_signal(path) {
    GT_ASSERT(m_context);
}

SignalService::~SignalService() = default;

SignalService::Command SignalService::parse(Binary const& bytes) {
    String const word = bytes.utf8ToString().toLower();
    if (word == u"exit") return EXIT;
    if (word == u"refresh") return REFRESH;
    return NONE;
}

void SignalService::process() {
    if (!m_timer.isExpired()) return;
    m_timer.rearm();
    Binary bytes;
    if (!m_signal.receive(&bytes)) return;
    switch (parse(bytes)) {
        case EXIT:
            m_context->exit();
            break;
        case REFRESH:
            m_context->accountService()->refreshNow();
            break;
        case NONE:
            break;
    }
}

}  // namespace tunnel
