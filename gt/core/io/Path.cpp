#include "gt/core/io/Path.h"

#include <vector>

#include "gt/core/lang/CommandLine.h"
#include "gt/core/util/Array.h"

namespace gt {
namespace core {

String const& pathSeparator() {
    static String const separator(u"/");
    return separator;
}

String normalizePath(String const& path) {
    String result(path);
    result.replace(u'\\', u'/');
    return result;
}

String dirName(String const& path) {
    String result = normalizePath(path);
    if (result.lastIndexOf(u'/') < 0) return String();
    result.truncateAtLast(u'/');
    return result;
}

String baseName(String const& path) {
    String result = normalizePath(path);
    result.removeThroughLast(u'/');
    return result;
}

String fileExtension(String const& path) { return path.afterLast(u'.'); }

String removeExtension(String const& path) {
    if (path.lastIndexOf(u'.') < 0) return String();
    String result(path);
    result.truncateAtLast(u'.');
    return result;
}

String trimTrailingSeparators(String const& path) {
    String result = normalizePath(path);
    int n = result.length();
    while (n > 1 && result[n - 1] == u'/')
        --n;
    result.setLength(n);
    return result;
}

void splitCommandLine(Array<String>& out, String const& text) {
    std::vector<String> args;
    detail::splitArguments(text, args);
    out.clear();
    out.reserve(static_cast<int>(args.size()));
    for (auto& arg : args)
        out.add(std::move(arg));
}

String normalizeCommandLine(String const& text) {
    std::vector<String> args;
    detail::splitArguments(text, args);
    String result;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i > 0) result.append(u' ');
        result.append(i == 0 ? normalizePath(args[i]) : args[i]);
    }
    return result;
}

}  // namespace core
}  // namespace gt
