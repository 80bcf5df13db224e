#include "gt/core/lang/LibraryStartup.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include "gt/core/io/Path.h"
#include "gt/core/lang/Binary.h"
#include "gt/core/lang/Sequence.h"
#include "gt/core/util/Dictionary.h"
#include "support/Text.h"

namespace {

// A global object of the program's own: its constructor may already use the
// library's shared values.
struct ProgramConstant {
    ProgramConstant()
        : separator(gt::core::pathSeparator()),
          emptyBinaryLength(gt::core::Binary::emptyBinary().length()),
          missing(gt::core::Dictionary<gt::core::String>().get(gt::core::String(u"x"))),
          sequence(gt::core::nextSequence()),
          startupDone(gt::core::LibraryStartup::isDone()) {}
    gt::core::String separator;
    int emptyBinaryLength;
    gt::core::String missing;
    int sequence;
    bool startupDone;
};

ProgramConstant const g_constant;

TEST(LibraryStartup, SharedValuesAreReadyForProgramGlobals) {
    EXPECT_TRUE(g_constant.startupDone);
    EXPECT_EQ(gt::test::utf8(g_constant.separator), "/");
    EXPECT_EQ(g_constant.emptyBinaryLength, 0);
    EXPECT_TRUE(g_constant.missing.isEmpty());
    EXPECT_GE(g_constant.sequence, 1);
}

TEST(LibraryStartup, ProcessSettings) {
    struct sigaction current = {};
    ASSERT_EQ(::sigaction(SIGPIPE, nullptr, &current), 0);
    EXPECT_EQ(current.sa_handler, SIG_IGN);
    struct rlimit files;
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
    EXPECT_EQ(files.rlim_cur, files.rlim_max);
}

}  // namespace
