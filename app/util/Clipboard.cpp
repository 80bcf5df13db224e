#include "app/util/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QThread>

#include "app/util/QtText.h"

using gt::core::String;

namespace tunnel {

namespace {

// The clipboard of the running application, or null when this thread may
// not use one.
QClipboard* reachableClipboard() {
    QGuiApplication* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (app == nullptr || QThread::currentThread() != app->thread()) return nullptr;
    return QGuiApplication::clipboard();
}

}  // namespace

bool Clipboard::setText(String const& text) {
    QClipboard* clipboard = reachableClipboard();
    if (clipboard == nullptr) return false;
    clipboard->setText(toQString(text));
    return true;
}

bool Clipboard::getText(String* out) {
    if (out == nullptr) return false;
    QClipboard* clipboard = reachableClipboard();
    if (clipboard == nullptr) return false;
    QMimeData const* data = clipboard->mimeData();
    if (data == nullptr || !data->hasText()) return false;
    *out = fromQString(data->text());
    return true;
}

}  // namespace tunnel
