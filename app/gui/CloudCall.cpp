#include "app/gui/CloudCall.h"

#include "app/IBusyRunner.h"
#include "app/gui/GuiUtil.h"
#include "tunnel/api/ApiClient.h"

bool cloudCall(tunnel::IBusyRunner* runner, QString const& text, tunnel::ApiClient* api,
               std::function<bool()> const& call, QString* error) {
    QString message;
    bool const ok = runner->executeResult(text, [&] {
        if (call()) return true;
        message = toQString(api->errorMessage());
        return false;
    });
    if (!ok && error) *error = message;
    return ok;
}
