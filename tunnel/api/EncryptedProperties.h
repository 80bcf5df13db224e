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
    static constexpr int kMaxFileBytes = 4 * 1024 * 1024;

    // Keeps both and loads the file at once.
    EncryptedProperties(gt::core::String const& path, gt::core::String const& password);
    EncryptedProperties(EncryptedProperties const&) = delete;
    EncryptedProperties& operator=(EncryptedProperties const&) = delete;
    virtual ~EncryptedProperties();

    // Reads the file again; a missing, unreadable or undecryptable file
    // gives an empty store.
    void load();
    // The value with "%APP_DIR%" expanded, or an empty text.
    gt::core::String get(gt::core::String const& key) const;
    // Replaces every entry and writes the file (creating its folder).
    void setAll(gt::core::Dictionary<gt::core::String> const& values);
    // Stores one entry and writes the file with all entries.
    void set(gt::core::String const& key, gt::core::String const& value);

    gt::core::Dictionary<gt::core::String> const& values() const { return m_values; }
    gt::core::String const& path() const { return m_path; }
    // Whether the last write reached the file.
    bool lastSaveSucceeded() const { return m_saved; }

    // The file's bytes for a dictionary, and the dictionary of a file's bytes.
    static gt::core::Binary encode(gt::core::Dictionary<gt::core::String> const& raw,
                                   gt::core::String const& password);
    static gt::core::Dictionary<gt::core::String> decode(gt::core::Binary const& bytes,
                                                         gt::core::String const& password);

private:
    void _expand();
    bool _save();

    gt::core::String m_path;
    gt::core::String m_password;
    gt::core::Dictionary<gt::core::String> m_values;
    gt::core::Dictionary<gt::core::String> m_raw;
    bool m_saved;
};

}  // namespace tunnel
