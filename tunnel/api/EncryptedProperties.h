// A settings file: a flat text-to-text dictionary stored as key{value}
// lines, UTF-8, TEA-encrypted as a whole with a key derived from a password
// (an empty password stores it in the clear). Values may hold "%APP_DIR%",
// which reads back as the program's folder.
#pragma once

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Dictionary.h"

namespace tunnel {

class EncryptedProperties {
public:
    // A file larger than this is not read: settings files are small, and
    // another process may write them.
    static constexpr int MAX_FILE_BYTES = 4 * 1024 * 1024;

    // Keeps both and loads the file at once.
    EncryptedProperties(gt::core::String const& path, gt::core::String const& password);
    EncryptedProperties(EncryptedProperties const&) = delete;
    EncryptedProperties& operator=(EncryptedProperties const&) = delete;
    virtual ~EncryptedProperties();

    // Reads the file again; a missing, unreadable or undecryptable file
    // gives an empty store.
    void load();
    // Why the last load found no usable settings in a file that is there: it
    // cannot be read, is no regular file, is too large, or does not decipher
    // with this password. Begins with the file's path; empty after a good
    // load and when the file is missing.
    gt::core::String const& lastLoadError() const { return m_loadError; }
    // The value with "%APP_DIR%" expanded, or an empty text.
    gt::core::String get(gt::core::String const& key) const;
    // Replaces every entry and writes the file (creating its folder); true
    // when the file now holds them. Refused, with false and neither the store
    // nor the file changed: an entry that the key{value} form cannot hold
    // (see canStore), entries that would make the file larger than
    // MAX_FILE_BYTES, and any save while the last load could not read the
    // file that is there (see lastLoadError; load() again once it can be
    // read). A failed write keeps the entries in memory.
    bool setAll(gt::core::Dictionary<gt::core::String> const& values);
    // Stores one entry and writes the file with all entries; false as setAll.
    bool set(gt::core::String const& key, gt::core::String const& value);
    // Stores several entries and writes the file once, so that another
    // process reads all of them or none; false as setAll (one refused entry
    // refuses them all).
    bool set(gt::core::Dictionary<gt::core::String> const& entries);

    gt::core::Dictionary<gt::core::String> const& values() const { return m_values; }
    gt::core::String const& path() const { return m_path; }
    // Whether the last set or setAll reached the file.
    bool lastSaveSucceeded() const { return m_saved; }
    // Why the last set or setAll failed, in words for the user who typed
    // the value (which key, what is wrong) or the file's path and the
    // system's error text; empty after a success.
    gt::core::String const& lastSaveError() const { return m_saveError; }

    // Whether an entry reads back from the file as it is: a key of
    // characters above 32 without braces, and a value whose braces pair up
    // and that holds no U+0000 (the file's text ends there).
    static bool canStore(gt::core::String const& key, gt::core::String const& value);

    // The file's bytes for a dictionary, and the dictionary of a file's bytes.
    static gt::core::Binary encode(gt::core::Dictionary<gt::core::String> const& raw,
                                   gt::core::String const& password);
    static gt::core::Dictionary<gt::core::String> decode(gt::core::Binary const& bytes,
                                                         gt::core::String const& password);

private:
    void _expand();
    gt::core::String _read(gt::core::Binary* bytes) const;
    // decode, telling why the bytes gave no usable settings (empty when they did).
    static gt::core::String _decode(gt::core::Binary const& bytes, gt::core::String const& password,
                                    gt::core::Dictionary<gt::core::String>* raw);
    bool _refuse(gt::core::Dictionary<gt::core::String> const& values);
    bool _store(gt::core::Dictionary<gt::core::String> const& raw,
                gt::core::Dictionary<gt::core::String> const& changed);
    bool _save(gt::core::Binary const& bytes);

    gt::core::String m_path;
    gt::core::String m_password;
    gt::core::Dictionary<gt::core::String> m_values;
    gt::core::Dictionary<gt::core::String> m_raw;
    bool m_saved;
    gt::core::String m_saveError;
    gt::core::String m_loadError;
    // The last load found a file it could not read (not one it could not
    // decipher): saves are refused until a load reads it.
    bool m_unreadable;
};

}  // namespace tunnel
