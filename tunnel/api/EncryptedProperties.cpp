#include "tunnel/api/EncryptedProperties.h"

#include "gt/core/io/File.h"
#include "gt/core/io/FileSystem.h"
#include "gt/core/io/Path.h"
#include "gt/core/io/SystemFolders.h"
#include "gt/core/util/BraceText.h"
#include "gt/core/util/TEA.h"
#include "tunnel/encrypt/Encryptor.h"

using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::String;

namespace tunnel {

namespace {

char16_t const kAppDir[] = u"%APP_DIR%";

}  // namespace

EncryptedProperties::EncryptedProperties(String const& path, String const& password)
    : m_path(path), m_password(password), m_saved(true) {
    load();
}

EncryptedProperties::~EncryptedProperties() = default;

Binary EncryptedProperties::encode(Dictionary<String> const& raw, String const& password) {
    String text;
    for (auto const& entry : raw) {
        text += entry.first;
        text += u"{";
        text += entry.second;
        text += u"}\r\n";
    }
    Binary bytes = text.toBinary();
    if (password.isEmpty()) return bytes;
    Binary encrypted;
    gt::core::TEA::encrypt(&encrypted, bytes, Encryptor::teaKey(password));
    return encrypted;
}

Dictionary<String> EncryptedProperties::decode(Binary const& bytes, String const& password) {
    Binary plain;
    if (password.isEmpty()) {
        plain = bytes;
    } else {
        gt::core::TEA::decrypt(&plain, bytes, Encryptor::teaKey(password));
    }
    Dictionary<String> raw;
    gt::core::parseBraceText(plain.utf8ToString(), &raw);
    return raw;
}

void EncryptedProperties::load() {
    m_raw.clear();
    m_values.clear();
    Binary bytes;
    if (!gt::core::File::readAll(m_path, &bytes, MAX_FILE_BYTES)) bytes.clear();
    m_raw = decode(bytes, m_password);
    _expand();
}

void EncryptedProperties::_expand() {
    m_values = m_raw;
    String const folder = gt::core::getProgramDirectory();
    for (auto& entry : m_values)
        entry.second.replace(String(kAppDir), folder);
}

String EncryptedProperties::get(String const& key) const {
    String const* value = m_values.find(key);
    return value ? *value : String();
}

void EncryptedProperties::setAll(Dictionary<String> const& values) {
    m_raw = values;
    _expand();
    m_saved = _save();
}

void EncryptedProperties::set(String const& key, String const& value) {
    m_raw.set(key, value);
    _expand();
    m_saved = _save();
}

// A reader (the other program) must never see half a file: the bytes go to
// a private temporary file in the same folder, which then replaces the file.
bool EncryptedProperties::_save() {
    String const folder = gt::core::dirName(m_path);
    if (!folder.isEmpty() && !gt::core::isDirectory(folder)) gt::core::createDirectories(folder);
    return gt::core::File::writeReplacing(m_path, encode(m_raw, m_password));
}

}  // namespace tunnel
