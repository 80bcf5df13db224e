// List of Strings with splitting at and joining with a separator.
#pragma once

#include "gt/core/lang/String.h"
#include "gt/core/util/Array.h"

namespace gt {
namespace core {

class Strings : public Array<String> {
public:
    Strings() = default;
    Strings(Strings const& other) = default;
    Strings(Strings&& other) noexcept;
    // The pieces of text between the separators: one element more than the
    // separators found (leading, trailing and doubled separators give empty
    // elements); an empty text gives an empty list, an empty separator a
    // list of the whole text.
    Strings(String const& text, String const& separator);
    Strings& operator=(Strings const& other) = default;
    Strings& operator=(Strings&& other) noexcept;
    ~Strings() override;

    // The elements concatenated.
    virtual String toString() const;
    virtual String join(String const& separator) const;
    // Empties out, then appends the elements with separator between each
    // two; does nothing when out is null.
    virtual void join(String* out, String const& separator) const;

    static String join(Strings const& list, String const& separator);
};

}  // namespace core
}  // namespace gt
