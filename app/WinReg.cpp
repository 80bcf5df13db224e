#include "app/WinReg.h"

#include <memory>

#include "app/ClientConstants.h"
#include "gt/core/io/File.h"
#include "gt/core/io/FileSystem.h"
#include "gt/core/io/RandomAccessFile.h"
#include "gt/core/io/Thread.h"
#include "gt/core/util/Base64.h"
#include "gt/core/util/JSON.h"
#include "gt/core/util/Strings.h"
#include "gt/core/util/Timer.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::String;

namespace tunnel {

namespace {

constexpr char16_t const* kRoots[] = {u"HKEY_CLASSES_ROOT", u"HKEY_CURRENT_USER", u"HKEY_LOCAL_MACHINE",
                                      u"HKEY_USERS", u"HKEY_CURRENT_CONFIG"};

// Entries of a store file: lower-cased key path -> {"name", "values"};
// values: lower-cased value name -> {"name", "type", "data"}.
char16_t const kName[] = u"name";
char16_t const kValues[] = u"values";
char16_t const kType[] = u"type";
char16_t const kData[] = u"data";

// The components of a sub-key path joined by single backslashes.
String normalisedSubKey(String const& text) {
    gt::core::Strings parts;
    for (String const& part : gt::core::Strings(text, u"\\"))
        if (!part.isEmpty()) parts.add(part);
    return parts.join(u"\\");
}

Dictionary<Any> const* dictionaryIn(Dictionary<Any> const& parent, String const& key) {
    Any const* value = parent.find(key);
    return value != nullptr && value->is<Dictionary<Any> >() ? &value->cast<Dictionary<Any> >() : nullptr;
}

}  // namespace

WinReg::WinReg(String const& keyPath) : WinReg(keyPath, defaultFolder()) {}

WinReg::WinReg(String const& keyPath, String const& storeFolder) : m_path(keyPath), m_folder(storeFolder) {
    String const root = keyPath.before(u'\\').toUpper();
    for (char16_t const* known : kRoots)
        if (root == known) m_root = root;
    m_subKey = normalisedSubKey(keyPath.after(u'\\'));
}

WinReg::~WinReg() = default;

String WinReg::defaultFolder() { return ClientConstants::DATA_DIR() + u"/registry"; }

bool WinReg::_load(Keys* keys, bool* missing) const {
    keys->clear();
    String const file = m_folder + u"/" + m_root + u".json";
    *missing = !gt::core::File::isFile(file) && !gt::core::isDirectory(file);
    if (*missing) return false;
    Binary bytes;
    if (!gt::core::File::readAll(file, &bytes, MAX_STORE_BYTES)) return false;
    return gt::core::JSON::decode(bytes.utf8ToString(), keys);
}

bool WinReg::_save(Keys const& keys) const {
    String text;
    if (!gt::core::JSON::encode(keys, &text, true)) return false;
    Binary const bytes = text.toBinary();
    // What could not be read back must not be written.
    if (bytes.length() > MAX_STORE_BYTES) return false;
    return gt::core::File::writeReplacing(m_folder + u"/" + m_root + u".json", bytes);
}

Dictionary<Any> const* WinReg::_values(Keys const& keys) const {
    Dictionary<Any> const* key = dictionaryIn(keys, m_subKey.toLower());
    return key != nullptr ? dictionaryIn(*key, kValues) : nullptr;
}

// Read, change and write the root's file under its lock file, so that two
// writers never lose each other's change. A store that exists but cannot be
// read is left alone.
template <class Change>
bool WinReg::_modify(Change const& change) {
    if (m_root.isEmpty() || !gt::core::createDirectories(m_folder)) return false;
    using gt::core::RandomAccessFile;
    String const lockPath = m_folder + u"/" + m_root + u".lock";
    std::unique_ptr<RandomAccessFile> lock;
    gt::core::Timer deadline(LOCK_WAIT_MS);
    for (;;) {
        lock.reset(new RandomAccessFile(lockPath, RandomAccessFile::OPEN_ALWAYS,
                                        RandomAccessFile::ACCESS_READ_WRITE, RandomAccessFile::SHARE_NONE));
        if (lock->isOpen()) break;
        if (deadline.isExpired()) return false;
        gt::core::Thread::sleep(5);
    }
    Keys keys;
    bool missing = false;
    if (!_load(&keys, &missing) && !missing) return false;
    if (!change(keys)) return false;
    return _save(keys);
}

bool WinReg::setString(String const& name, String const& text) { return setValue(name, Any(text)); }

bool WinReg::setValue(String const& name, Any const& value) {
    // The store's text ends at a NUL: a name with one could not be read back.
    if (name.indexOf(u'\0') >= 0 || m_subKey.indexOf(u'\0') >= 0) return false;
    Dictionary<Any> entry;
    entry.set(kName, name);
    if (value.is<String>()) {
        // What a registry reader would see of it: the text up to its first NUL.
        String text = value.cast<String>();
        int const nul = text.indexOf(u'\0');
        if (nul >= 0) text.setLength(nul);
        entry.set(kType, TYPE_SZ);
        entry.set(kData, text);
    } else if (value.is<Binary>()) {
        entry.set(kType, TYPE_BINARY);
        entry.set(kData, gt::core::Base64::encode(value.cast<Binary>()));
    } else if (value.is<int>()) {
        entry.set(kType, TYPE_DWORD);
        entry.set(kData, value);
    } else if (value.is<long long>()) {
        entry.set(kType, TYPE_QWORD);
        entry.set(kData, value);
    } else {
        return false;
    }
    return _modify([&](Keys& keys) {
        String const lower = m_subKey.toLower();
        Any* slot = keys.find(lower);
        if (slot == nullptr || !slot->is<Dictionary<Any> >()) {
            Dictionary<Any> key;
            key.set(kName, m_subKey);
            key.set(kValues, Dictionary<Any>());
            slot = &keys.set(lower, key);
        }
        Dictionary<Any>& key = slot->cast<Dictionary<Any> >();
        Any* values = key.find(kValues);
        if (values == nullptr || !values->is<Dictionary<Any> >())
            values = &key.set(kValues, Dictionary<Any>());
        Dictionary<Any>& byName = values->cast<Dictionary<Any> >();
        // A value written again keeps the spelling of its name.
        if (Dictionary<Any> const* old = dictionaryIn(byName, name.toLower())) {
            entry.set(kName, old->get(kName));
        }
        byName.set(name.toLower(), entry);
        return true;
    });
}

bool WinReg::deleteValue(String const& name) {
    return _modify([&](Keys& keys) {
        Any* key = keys.find(m_subKey.toLower());
        if (key == nullptr || !key->is<Dictionary<Any> >()) return false;
        Any* values = key->cast<Dictionary<Any> >().find(kValues);
        if (values == nullptr || !values->is<Dictionary<Any> >()) return false;
        return values->cast<Dictionary<Any> >().remove(name.toLower());
    });
}

void WinReg::subKeys(Array<String>* out) const {
    if (out == nullptr) return;
    out->clear();
    Keys keys;
    bool missing = false;
    if (m_root.isEmpty() || !_load(&keys, &missing)) return;
    String const prefix = m_subKey.isEmpty() ? String() : m_subKey.toLower() + u"\\";
    // Keys in between exist through the keys below them.
    Dictionary<String> names;
    for (auto const& entry : keys) {
        if (entry.first.length() <= prefix.length() || !entry.first.startsWith(prefix)) continue;
        String const lower = entry.first.mid(prefix.length(), entry.first.length()).before(u'\\');
        if (names.contains(lower)) continue;
        String name = lower;
        if (entry.second.is<Dictionary<Any> >()) {
            String const spelt = gt::core::toString(entry.second.cast<Dictionary<Any> >().get(kName));
            if (spelt.toLower() == entry.first) name = spelt.mid(prefix.length(), lower.length());
        }
        names.set(lower, name);
    }
    for (auto const& entry : names)
        out->add(entry.second);
}

void WinReg::valueNames(Array<String>* out) const {
    if (out == nullptr) return;
    out->clear();
    Keys keys;
    bool missing = false;
    if (m_root.isEmpty() || !_load(&keys, &missing)) return;
    Dictionary<Any> const* values = _values(keys);
    if (values == nullptr) return;
    for (auto const& entry : *values) {
        Dictionary<Any> const* value =
            entry.second.is<Dictionary<Any> >() ? &entry.second.cast<Dictionary<Any> >() : nullptr;
        out->add(value != nullptr ? gt::core::toString(value->get(kName)) : entry.first);
    }
}

Any WinReg::query(String const& name) const {
    Keys keys;
    bool missing = false;
    if (m_root.isEmpty() || !_load(&keys, &missing)) return Any();
    Dictionary<Any> const* values = _values(keys);
    Dictionary<Any> const* value = values != nullptr ? dictionaryIn(*values, name.toLower()) : nullptr;
    if (value == nullptr) return Any();
    Any const& data = value->get(kData);
    switch (gt::core::toInt(value->get(kType))) {
        case TYPE_SZ: {
            if (!data.is<String>()) return Any();
            String const& text = data.cast<String>();
            if ((text.length() + 1) * 2 > MAX_VALUE_BYTES) return Any();
            return Any(text);
        }
        case TYPE_BINARY: {
            if (!data.is<String>()) return Any();
            Binary bytes = gt::core::Base64::decode(data.cast<String>());
            if (bytes.length() > MAX_VALUE_BYTES) return Any();
            return Any(bytes);
        }
        case TYPE_DWORD:
            return Any(gt::core::toInt(data));
        case TYPE_QWORD:
            return Any(gt::core::toLong(data));
        default:
            return Any();
    }
}

}  // namespace tunnel
