// Values of one key of a small registry of our own: named values of a few
// types (text, bytes, 32-bit and 64-bit numbers) under keys that form a
// tree, addressed as "<root>\<sub-key>" with one of the five classic root
// names. Each root is one JSON file in the store folder, read with a size
// cap and replaced as a whole (temporary file and rename) under a lock file,
// so other processes read either the old or the new state. Key paths and
// value names compare without regard to ASCII letter case and keep the
// spelling of their first write. Every failure shows only in the result.
#pragma once

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Any.h"
#include "gt/core/util/Array.h"
#include "gt/core/util/Dictionary.h"

namespace tunnel {

class WinReg {
public:
    // A store file larger than this is not read (nor written over).
    static constexpr int MAX_STORE_BYTES = 4 * 1024 * 1024;
    // The largest value query hands out, in the registry's own measure
    // (text: UTF-16 with its terminating NUL).
    static constexpr int MAX_VALUE_BYTES = 1024;
    // How long a write waits for another writer of the same root.
    static constexpr int LOCK_WAIT_MS = 2000;

    // Registry value types, as the registry numbers them.
    static constexpr int TYPE_SZ = 1;
    static constexpr int TYPE_BINARY = 3;
    static constexpr int TYPE_DWORD = 4;
    static constexpr int TYPE_QWORD = 11;

    // The key in the default store folder.
    explicit WinReg(gt::core::String const& keyPath);
    WinReg(gt::core::String const& keyPath, gt::core::String const& storeFolder);
    virtual ~WinReg();

    // <the client's data folder>/registry
    static gt::core::String defaultFolder();

    // Writes a text value (an empty name: the key's default value),
    // creating the key and the ones above it.
    bool setString(gt::core::String const& name, gt::core::String const& text);
    // Writes a String, Binary, int or long long value; false for any other.
    bool setValue(gt::core::String const& name, gt::core::Any const& value);
    // False when the value does not exist.
    bool deleteValue(gt::core::String const& name);
    // The names of the keys directly below this one, in order of their
    // lower-cased names; a null pointer does nothing, a failure leaves the
    // array empty.
    void subKeys(gt::core::Array<gt::core::String>* out) const;
    // The names of this key's values, in order of their lower-cased names.
    void valueNames(gt::core::Array<gt::core::String>* out) const;
    // The value as String, Binary, int or long long; empty when the key or
    // value is missing, the store cannot be read, or the value is larger
    // than MAX_VALUE_BYTES.
    gt::core::Any query(gt::core::String const& name) const;

    gt::core::String const& path() const { return m_path; }

private:
    using Keys = gt::core::Dictionary<gt::core::Any>;

    bool _load(Keys* keys, bool* missing) const;
    bool _save(Keys const& keys) const;
    gt::core::Dictionary<gt::core::Any> const* _values(Keys const& keys) const;
    template <class Change>
    bool _modify(Change const& change);

    gt::core::String m_path;
    gt::core::String m_folder;
    gt::core::String m_root;    // upper-case root name; empty for an unknown one
    gt::core::String m_subKey;  // components joined by '\', empty ones dropped
};

}  // namespace tunnel
