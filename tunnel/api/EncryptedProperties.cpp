#include "tunnel/api/EncryptedProperties.h"

#include <sys/stat.h>

#include <cerrno>

#include "gt/core/io/File.h"
#include "gt/core/io/FileSystem.h"
#include "gt/core/io/Path.h"
#include "gt/core/io/RandomAccessFile.h"
#include "gt/core/io/SystemFolders.h"
#include "gt/core/lang/Integer.h"
#include "gt/core/lang/SystemError.h"
#include "gt/core/util/BraceText.h"
#include "gt/core/util/TEA.h"
#include "tunnel/encrypt/Encryptor.h"

using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::RandomAccessFile;
using gt::core::String;

namespace tunnel {

namespace {

char16_t const kAppDir[] = u"%APP_DIR%";

bool holdsNul(String const& text) {
    for (int i = 0; i < text.length(); ++i) {
        if (text[i] == 0) return true;
    }
    return false;
}

}  // namespace

EncryptedProperties::EncryptedProperties(String const& path, String const& password)
    : m_path(path), m_password(password), m_saved(true), m_unreadable(false) {
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
    Dictionary<String> raw;
    _decode(bytes, password, &raw);
    return raw;
}

String EncryptedProperties::_decode(Binary const& bytes, String const& password, Dictionary<String>* raw) {
    Binary plain;
    bool deciphered = true;
    if (password.isEmpty()) {
        plain = bytes;
    } else {
        deciphered = gt::core::TEA::decrypt(&plain, bytes, Encryptor::teaKey(password));
    }
    String const text = plain.utf8ToString();
    gt::core::parseBraceText(text, raw);
    if (!deciphered) return u"is no enciphered settings file";
    // Deciphered with another key (a file copied from another computer, whose
    // key comes from its host name), the bytes are noise: hardly ever UTF-8
    // text, and text without entries.
    if (plain.isEmpty()) return String();
    if (text.toBinary() != plain || raw->isEmpty()) {
        return u"cannot be deciphered with this computer's key (written on another computer, or damaged)";
    }
    return String();
}

void EncryptedProperties::load() {
    m_raw.clear();
    m_values.clear();
    m_loadError.clear();
    Binary bytes;
    String const problem = _read(&bytes);
    m_unreadable = !problem.isEmpty();
    if (m_unreadable) {
        m_loadError = u"The settings file " + m_path + u" " + problem;
        return;
    }
    String const undeciphered = _decode(bytes, m_password, &m_raw);
    if (!undeciphered.isEmpty()) m_loadError = u"The settings file " + m_path + u" " + undeciphered;
    _expand();
}

// Empty when the bytes were read or the file is missing; else what is wrong.
String EncryptedProperties::_read(Binary* bytes) const {
    RandomAccessFile file(m_path, RandomAccessFile::OPEN_EXISTING, RandomAccessFile::ACCESS_READ,
                          RandomAccessFile::SHARE_READ_WRITE);
    if (!file.isOpen()) {
        if (file.lastError() == ENOENT) return String();
        return u"cannot be read: " + gt::core::systemErrorText(file.lastError());
    }
    struct stat st;
    if (::fstat(file.handle(), &st) != 0) return u"cannot be read: " + gt::core::systemErrorText(errno);
    if (!S_ISREG(st.st_mode)) return u"is not a regular file";
    if (file.size() > MAX_FILE_BYTES) {
        return u"is larger than " + gt::core::Integer(MAX_FILE_BYTES).toString() + u" bytes";
    }
    if (!file.read(bytes, MAX_FILE_BYTES) || file.size() > file.position()) {
        bytes->clear();
        return u"cannot be read whole (it changed while being read)";
    }
    return String();
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

bool EncryptedProperties::canStore(String const& key, String const& value) {
    return gt::core::isBraceTextKey(key) && gt::core::isBraceTextValue(value) && !holdsNul(value);
}

bool EncryptedProperties::setAll(Dictionary<String> const& values) {
    if (_refuse(values)) return false;
    return _store(values, values);
}

bool EncryptedProperties::set(String const& key, String const& value) {
    Dictionary<String> one;
    one.set(key, value);
    return set(one);
}

bool EncryptedProperties::set(Dictionary<String> const& entries) {
    if (_refuse(entries)) return false;
    Dictionary<String> raw = m_raw;
    for (auto const& entry : entries)
        raw.set(entry.first, entry.second);
    return _store(raw, entries);
}

// The file is what both programs read back: one this store could not read
// holds settings it does not know (a save would replace them with the few
// it has), and one larger than MAX_FILE_BYTES would not be read at all.
// Either way nothing changes, in memory or on disk.
bool EncryptedProperties::_store(Dictionary<String> const& raw, Dictionary<String> const& changed) {
    if (m_unreadable) {
        m_saved = false;
        m_saveError =
            m_loadError + u"; it is left as it is rather than replaced by the few settings known here.";
        return false;
    }
    Binary const bytes = encode(raw, m_password);
    if (bytes.length() > MAX_FILE_BYTES) {
        m_saved = false;
        String what = u"These settings";
        if (changed.count() == 1) what = u"The value of \"" + changed.begin()->first + u"\"";
        m_saveError = what + u" cannot be stored: the settings file would be larger than " +
                      gt::core::Integer(MAX_FILE_BYTES).toString() + u" bytes.";
        return false;
    }
    m_raw = raw;
    _expand();
    m_saved = _save(bytes);
    return m_saved;
}

// Written as it is, such an entry would read back as something else: a value
// "1.2.3.4}device.token{x" would end its own entry and replace another key.
bool EncryptedProperties::_refuse(Dictionary<String> const& values) {
    for (auto const& entry : values) {
        if (canStore(entry.first, entry.second)) continue;
        m_saved = false;
        if (!gt::core::isBraceTextKey(entry.first)) {
            m_saveError = u"The key \"" + entry.first +
                          u"\" cannot be stored: a key holds no braces, blanks or control characters.";
        } else {
            m_saveError = u"The value of \"" + entry.first +
                          u"\" cannot be stored: its braces do not pair up or it holds a NUL character.";
        }
        return true;
    }
    return false;
}

// A reader (the other program) must never see half a file: the bytes go to
// a private temporary file in the same folder, which then replaces the file.
bool EncryptedProperties::_save(Binary const& bytes) {
    m_saveError.clear();
    String const folder = gt::core::dirName(m_path);
    if (!folder.isEmpty() && !gt::core::isDirectory(folder) && !gt::core::createDirectories(folder)) {
        m_saveError = u"Cannot create the folder " + folder + u": " + gt::core::systemErrorText(errno);
        return false;
    }
    if (gt::core::File::writeReplacing(m_path, bytes)) return true;
    m_saveError = u"Cannot write " + m_path + u": " + gt::core::systemErrorText(errno);
    return false;
}

}  // namespace tunnel
