// Stands in for the desktop client where the service's tests and the demo
// need it: binds this computer to a device by writing properties.cfg in the
// shared data folder, as the client does.
//
//   svr_test_helper set <key> <value> [<key> <value> ...]
//   svr_test_helper get <key>
#include <cstdio>
#include <cstring>

#include "gt/core/lang/Binary.h"
#include "svr/SvrConstants.h"
#include "tunnel/api/EncryptedProperties.h"

using gt::core::String;

int main(int argc, char** argv) {
    tunnel::EncryptedProperties properties(tunnel::SvrConstants::propertiesFile(),
                                           tunnel::SvrConstants::propertiesKey());
    if (argc >= 4 && argc % 2 == 0 && std::strcmp(argv[1], "set") == 0) {
        // Only the entries given change, as they are given: the store's
        // values() have "%APP_DIR%" expanded, and written back they would
        // no longer follow the program's folder.
        gt::core::Dictionary<String> values;
        for (int i = 2; i + 1 < argc; i += 2)
            values.set(String::fromUtf8(argv[i]), String::fromUtf8(argv[i + 1]));
        if (!properties.set(values)) {
            std::fprintf(stderr, "cannot write the settings file: %s\n",
                         properties.lastSaveError().toBinary().data());
            return 1;
        }
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "get") == 0) {
        gt::core::Binary value = properties.get(String::fromUtf8(argv[2])).toBinary();
        std::fwrite(value.data(), 1, static_cast<size_t>(value.length()), stdout);
        std::fputc('\n', stdout);
        return 0;
    }
    std::fprintf(stderr, "usage: %s set <key> <value> [...] | get <key>\n", argv[0]);
    return 2;
}
