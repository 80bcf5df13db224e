#include "app/service/DownloadService.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "app/ClientConstants.h"
#include "app/IContext.h"
#include "gt/core/io/File.h"
#include "gt/core/io/FileSystem.h"
#include "gt/core/io/NativePath.h"
#include "gt/core/io/Process.h"
#include "gt/core/io/RandomAccessFile.h"
#include "gt/core/io/SystemFolders.h"
#include "gt/core/lang/Fatal.h"
#include "gt/core/lang/Integer.h"
#include "gt/core/util/JSON.h"
#include "gt/net/HttpResponse.h"
#include "gt/net/socket/IpAddress.h"
#include "gt/util/RawHttpClient.h"

using gt::core::Any;
using gt::core::Array;
using gt::core::Binary;
using gt::core::Dictionary;
using gt::core::Process;
using gt::core::String;
using gt::net::URL;

namespace tunnel {

namespace {

// What the user is told about one mode's run.
struct ModeTexts {
    char16_t const* notStarted;
    char16_t const* cancelled;  // null: the mode has no cancel code
    char16_t const* errorCode;  // followed by the code in decimal
};

ModeTexts const kCompare = {u"检测进程未能启动！", nullptr, u"检测进程返回错误代码："};
ModeTexts const kUpgrade = {u"更新进程未能启动！", u"已取消更新", u"更新进程返回错误代码："};
ModeTexts const kDownload = {u"下载进程未能启动！", u"已取消下载", u"下载进程返回错误代码："};
char16_t const kListNotWritten[] = u"下载列表未能写入！";

constexpr int kCompareBlock = 1 << 16;
// A killed updater ends at once; this only bounds the wait for the kernel.
constexpr int kKillWaitMs = 5000;
// The exit code of an updater killed after its limit.
constexpr int kKilledCode = 9;

// Whether two files hold the same bytes; a missing file holds none.
bool sameContent(String const& a, String const& b) {
    if (gt::core::File::size(a) != gt::core::File::size(b)) return false;
    using gt::core::RandomAccessFile;
    RandomAccessFile left(a, RandomAccessFile::OPEN_EXISTING, RandomAccessFile::ACCESS_READ,
                          RandomAccessFile::SHARE_READ_WRITE);
    RandomAccessFile right(b, RandomAccessFile::OPEN_EXISTING, RandomAccessFile::ACCESS_READ,
                           RandomAccessFile::SHARE_READ_WRITE);
    if (!left.isOpen() || !right.isOpen()) return left.isOpen() == right.isOpen();
    Binary x;
    Binary y;
    for (;;) {
        if (!left.read(&x, kCompareBlock) || !right.read(&y, kCompareBlock)) return false;
        if (x != y) return false;
        if (x.isEmpty()) return true;
    }
}

// Starts the updater; upgrade and download show their window, compare runs
// hidden (there are no windows to hide here, the flag only says it).
bool startUpdater(Process& child, std::vector<String> const& arguments, bool hidden) {
    Process::StartInfo info;
    info.arguments = arguments;
    info.showMode = 1;
    info.useShowMode = hidden;
    return child.start(info);
}

// Waits until the child ends, killing it once limitMs have passed; its exit code.
int waitForExit(Process& child, int limitMs) {
    if (!child.wait(limitMs)) {
        child.kill();
        if (!child.wait(kKillWaitMs)) return kKilledCode;
    }
    return child.exitCode();
}

// A folder of our own below the temporary folder (mode 0700), or empty.
String makePrivateFolder() {
    std::string pattern = gt::core::detail::nativePath(gt::core::getTempDirectory()) + "/quorvane-XXXXXX";
    if (::mkdtemp(&pattern[0]) == nullptr) return String();
    return String::fromUtf8(pattern.c_str());
}

}  // namespace

char16_t const* const DownloadService::LIST_FILE_NAME = u"download_list.json";

DownloadService::DownloadService(IContext* context)
    : DownloadService(context, ClientConstants::UPGRADER_FILE(), ClientConstants::UPGRADER_NEW_FILE()) {}

DownloadService::DownloadService(IContext* context, String const& upgraderFile, String const& upgraderNewFile)
    : m_context(context),
      m_upgraderFile(upgraderFile),
      m_upgraderNewFile(upgraderNewFile),
      m_compareLimitMs(COMPARE_LIMIT_MS),
      m_runLimitMs(RUN_LIMIT_MS) {
    GT_ASSERT(m_context);
}

DownloadService::~DownloadService() = default;

void DownloadService::setWaitLimits(int compareMs, int runMs) {
    m_compareLimitMs = compareMs;
    m_runLimitMs = runMs;
}

// A staged new updater replaces the old one before each use: copied beside
// it and renamed over it, so a half-copied updater never runs, and made
// runnable (a staged copy need not be). A failed copy leaves the old one.
void DownloadService::_refreshUpgrader() {
    if (sameContent(m_upgraderFile, m_upgraderNewFile)) return;
    String const staging = m_upgraderFile + u".new";
    if (!gt::core::File::copy(m_upgraderNewFile, staging)) {
        gt::core::File::remove(staging);
        return;
    }
    std::string const from = gt::core::detail::nativePath(staging);
    std::string const to = gt::core::detail::nativePath(m_upgraderFile);
    struct stat st;
    if (::stat(from.c_str(), &st) == 0)
        ::chmod(from.c_str(), (st.st_mode | ((st.st_mode & 0444) >> 2)) & 07777);
    if (::rename(from.c_str(), to.c_str()) != 0) gt::core::File::remove(staging);
}

std::vector<String> DownloadService::compareArguments(String const& upgraderFile, String const& color,
                                                      String const& caption, URL const& url,
                                                      String const& targetDir, String const& compareValue) {
    return {upgraderFile,
            u"-action=compare",
            u"-color=" + color,
            u"-caption=" + caption,
            u"-url=" + url.toString(),
            u"-dir=" + targetDir,
            u"-compare=" + compareValue};
}

std::vector<String> DownloadService::upgradeArguments(String const& upgraderFile, String const& color,
                                                      String const& caption, URL const& url,
                                                      String const& targetDir, String const& compareValue,
                                                      String const& runAfter) {
    return {upgraderFile,
            u"-action=upgrade",
            u"-color=" + color,
            u"-caption=" + caption,
            u"-url=" + url.toString(),
            u"-dir=" + targetDir,
            u"-compare=" + compareValue,
            u"-run=" + runAfter,
            u"-thread=10",
            u"-retry=99"};
}

std::vector<String> DownloadService::downloadArguments(String const& upgraderFile, String const& color,
                                                       String const& caption, String const& listFile) {
    return {upgraderFile,
            u"-action=download",
            u"-color=" + color,
            u"-caption=" + caption,
            u"-list-file=" + listFile,
            u"-thread=10",
            u"-retry=99"};
}

bool DownloadService::listText(Array<FileItem> const& items, String* out) {
    Array<Any> list;
    for (int i = 0; i < items.count(); ++i) {
        Dictionary<Any> item;
        item.set(u"name", items[i].name);
        item.set(u"save_file", items[i].saveFile);
        item.set(u"url", items[i].url.toString());
        list.add(item);
    }
    return gt::core::JSON::encode(list, out, true);
}

bool DownloadService::compareUpgrade(String const& caption, URL const& url, String const& targetDir,
                                     String const& compareValue, bool* hasUpdate) {
    if (hasUpdate == nullptr) return false;
    _refreshUpgrader();
    m_lastError.clear();
    std::vector<String> const arguments =
        compareArguments(m_upgraderFile, m_context->themeColor(), caption, url, targetDir, compareValue);
    return m_context->executeResult(caption, [this, &arguments, hasUpdate] {
        Process updater;
        if (!startUpdater(updater, arguments, true)) {
            m_lastError = kCompare.notStarted;
            return false;
        }
        int const code = waitForExit(updater, m_compareLimitMs);
        if (code == EXIT_UPDATE_FOUND || code == EXIT_DONE) {
            *hasUpdate = code == EXIT_UPDATE_FOUND;
            return true;
        }
        m_lastError = kCompare.errorCode + gt::core::Integer(code).toString();
        return false;
    });
}

bool DownloadService::launchUpgrade(String const& caption, URL const& url, String const& targetDir,
                                    String const& compareValue, String const& runAfter, bool wait) {
    _refreshUpgrader();
    m_lastError.clear();
    std::vector<String> const arguments = upgradeArguments(m_upgraderFile, m_context->themeColor(), caption,
                                                           url, targetDir, compareValue, runAfter);
    return m_context->executeResult(caption, [this, &arguments, &targetDir, wait] {
        if (!targetDir.isEmpty()) gt::core::createDirectories(targetDir);
        Process updater;
        if (!startUpdater(updater, arguments, false)) {
            m_lastError = kUpgrade.notStarted;
            return false;
        }
        // Left running: it outlives the client, which ends next; a reaper
        // collects it should the client still run when it ends.
        if (!wait) return true;
        int const code = waitForExit(updater, m_runLimitMs);
        if (code == EXIT_DONE) return true;
        m_lastError = code == EXIT_CANCELLED ? String(kUpgrade.cancelled)
                                             : kUpgrade.errorCode + gt::core::Integer(code).toString();
        return false;
    });
}

bool DownloadService::launchDownload(String const& caption, Array<FileItem> const& items) {
    _refreshUpgrader();
    m_lastError.clear();
    // The list lies in a folder of our own, which no other user can read or
    // replace, and goes with it after the run.
    String text;
    String const folder = makePrivateFolder();
    String const listFile = folder + u"/" + LIST_FILE_NAME;
    if (folder.isEmpty() || !listText(items, &text) || !gt::core::File::write(listFile, text.toBinary())) {
        if (!folder.isEmpty()) {
            gt::core::File::remove(listFile);
            gt::core::removeDirectory(folder);
        }
        m_lastError = kListNotWritten;
        return false;
    }
    std::vector<String> const arguments =
        downloadArguments(m_upgraderFile, m_context->themeColor(), caption, listFile);
    bool const ok = m_context->executeResult(caption, [this, &arguments] {
        Process updater;
        if (!startUpdater(updater, arguments, false)) {
            m_lastError = kDownload.notStarted;
            return false;
        }
        int const code = waitForExit(updater, m_runLimitMs);
        if (code == EXIT_DONE) return true;
        m_lastError = code == EXIT_CANCELLED ? String(kDownload.cancelled)
                                             : kDownload.errorCode + gt::core::Integer(code).toString();
        return false;
    });
    gt::core::File::remove(listFile);
    gt::core::removeDirectory(folder);
    return ok;
}

bool DownloadService::download(String const& caption, URL const& url, String const& savePath) {
    return m_context->executeResult(caption, [this, &url, &savePath] {
        Binary body;
        if (!_httpGetWithBackup(url, &body)) return false;
        return gt::core::File::write(savePath, body);
    });
}

bool DownloadService::_httpGet(URL const& url, Binary* body) {
    gt::util::RawHttpClient client(-1);
    gt::net::HttpResponse response;
    if (!client.get(url, &response, HTTP_TIMEOUT_MS)) return false;
    if (response.statusCode < 200 || response.statusCode > 299) return false;
    *body = response.body;
    return true;
}

bool DownloadService::backupUrl(URL const& url, URL* out) {
    if (gt::net::IpAddress::isDottedQuad(url.host().before(u':'))) return false;
    *out = URL(url.toString(true, false, false, false, false) + u"bak." + url.host() +
               url.toString(false, false, true, true, true));
    return true;
}

bool DownloadService::_httpGetWithBackup(URL const& url, Binary* body) {
    if (_httpGet(url, body)) return true;
    URL backup;
    return backupUrl(url, &backup) && _httpGet(backup, body);
}

}  // namespace tunnel
