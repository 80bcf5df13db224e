#include "app/util/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QString>
#include <QThread>

using gt::core::String;

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
    clipboard->setText(QString::fromUtf16(text.data(), text.length()));
    return true;
}

bool Clipboard::getText(String* out) {
    if (out == nullptr) return false;
    QClipboard* clipboard = reachableClipboard();
    if (clipboard == nullptr) return false;
    QMimeData const* data = clipboard->mimeData();
    if (data == nullptr || !data->hasText()) return false;
    QString const text = data->text();
    *out = String(reinterpret_cast<char16_t const*>(text.utf16()), static_cast<int>(text.size()));
    return true;
}
