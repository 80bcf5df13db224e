// One HTTP cookie: domain, path, name and value.
#pragma once

#include "gt/core/lang/String.h"

namespace gt {
namespace util {

struct Cookie {
    Cookie() = default;
    Cookie(core::String const& domain, core::String const& path, core::String const& name,
           core::String const& value)
        : domain(domain), path(path), name(name), value(value) {}
    // Parses one Set-Cookie value: name=value, then the "domain" and "path"
    // attributes (any letter case); every other attribute is ignored.
    explicit Cookie(core::String const& text);

    // name=value; domain=<domain>; path=<path>
    core::String toString() const;

    core::String domain;
    core::String path;
    core::String name;
    core::String value;
};

}  // namespace util
}  // namespace gt
