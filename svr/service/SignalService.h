// Takes "exit" and "refresh" from the signal file once a second.
#pragma once

#include "gt/core/util/Timer.h"
#include "svr/service/FileSignal.h"

namespace tunnel {

class IContext;

class SignalService {
public:
    explicit SignalService(IContext* context);
    SignalService(IContext* context, gt::core::String const& path);
    SignalService(SignalService const&) = delete;
    SignalService& operator=(SignalService const&) = delete;
    virtual ~SignalService();

    void process();

    // What a command's bytes ask for: the text, BOM skipped, ASCII lower-cased,
    // nothing trimmed.
    enum Command { NONE, EXIT, REFRESH };
    static Command parse(gt::core::Binary const& bytes);

private:
    IContext* m_context;
    gt::core::Timer m_timer;
    FileSignal m_signal;
};

}  // namespace tunnel
