// Starts the updater Upgrader, a separate program beside the client, in one
// of three modes: compare (is there a newer client?), upgrade (replace the
// client, then run it again) and download (fetch a list of files). Each run
// goes through the context's busy runner: the GUI thread shows the busy
// dialog while a worker thread starts the updater, waits for it and turns
// its exit code into a result and a message. It also fetches one file by
// HTTP GET itself, with a fallback host.
//
// The updater gets everything as separate arguments, never as one command
// line, so that no text from the cloud (a URL, a caption) can turn into
// switches of its own. A download list goes to a private temporary folder
// that only this user can read and that is removed after the run. The
// updater inherits no descriptor of ours beyond the standard streams, so it
// never holds the client's single-instance lock.
#pragma once

#include <vector>

#include "gt/core/lang/Binary.h"
#include "gt/core/lang/String.h"
#include "gt/core/util/Array.h"
#include "gt/net/URL.h"

namespace tunnel {

class IContext;

class DownloadService {
public:
    // One file of a download list.
    struct FileItem {
        gt::core::String name;
        gt::net::URL url;
        gt::core::String saveFile;  // where the file is to be stored
    };

    // Exit codes of the updater.
    static constexpr int EXIT_DONE = 0;
    static constexpr int EXIT_CANCELLED = 2;       // upgrade and download
    static constexpr int EXIT_UPDATE_FOUND = 102;  // compare
    // The longest the updater may run before it is killed (its exit code is
    // then 9).
    static constexpr int COMPARE_LIMIT_MS = 5 * 60 * 1000;
    static constexpr int RUN_LIMIT_MS = 6 * 60 * 60 * 1000;
    // One HTTP GET of download().
    static constexpr int HTTP_TIMEOUT_MS = 60000;

    static char16_t const* const LIST_FILE_NAME;  // "download_list.json"

    // The updater and its staged copy beside the client.
    explicit DownloadService(IContext* context);
    // Another updater and staged copy (tests).
    DownloadService(IContext* context, gt::core::String const& upgraderFile,
                    gt::core::String const& upgraderNewFile);
    DownloadService(DownloadService const&) = delete;
    DownloadService& operator=(DownloadService const&) = delete;
    virtual ~DownloadService();

    // Asks the updater whether an update exists. True when it ran and
    // answered; *hasUpdate then tells. False at once for a null flag.
    bool compareUpgrade(gt::core::String const& caption, gt::net::URL const& url,
                        gt::core::String const& targetDir, gt::core::String const& compareValue,
                        bool* hasUpdate);
    // Runs the updater in upgrade mode; with wait false it returns true as
    // soon as the updater started and leaves it running (the client then
    // ends, so that its files can be replaced).
    bool launchUpgrade(gt::core::String const& caption, gt::net::URL const& url,
                       gt::core::String const& targetDir, gt::core::String const& compareValue,
                       gt::core::String const& runAfter, bool wait);
    // Runs the updater in download mode on a list file of the items.
    bool launchDownload(gt::core::String const& caption, gt::core::Array<FileItem> const& items);
    // Fetches url (retried once on the "bak." host) and writes the body to
    // savePath. Neither clears nor sets the last error.
    bool download(gt::core::String const& caption, gt::net::URL const& url, gt::core::String const& savePath);

    gt::core::String const& lastError() const { return m_lastError; }

    // The updater's arguments, program path first.
    static std::vector<gt::core::String> compareArguments(
        gt::core::String const& upgraderFile, gt::core::String const& color, gt::core::String const& caption,
        gt::net::URL const& url, gt::core::String const& targetDir, gt::core::String const& compareValue);
    static std::vector<gt::core::String> upgradeArguments(
        gt::core::String const& upgraderFile, gt::core::String const& color, gt::core::String const& caption,
        gt::net::URL const& url, gt::core::String const& targetDir, gt::core::String const& compareValue,
        gt::core::String const& runAfter);
    static std::vector<gt::core::String> downloadArguments(gt::core::String const& upgraderFile,
                                                           gt::core::String const& color,
                                                           gt::core::String const& caption,
                                                           gt::core::String const& listFile);
    // The list file's text: an indented JSON array (CR LF, tabs) of
    // {"name", "save_file", "url"} objects in list order. False when the
    // writer refuses.
    static bool listText(gt::core::Array<FileItem> const& items, gt::core::String* out);
    // The URL with "bak." put in front of its host; false (out untouched)
    // when the host, up to its port, is an IPv4 literal.
    static bool backupUrl(gt::net::URL const& url, gt::net::URL* out);

    // Shortens the limits of a running updater (tests).
    void setWaitLimits(int compareMs, int runMs);

protected:
    // One GET: true with the body for a reply of status 200 to 299.
    virtual bool _httpGet(gt::net::URL const& url, gt::core::Binary* body);

private:
    void _refreshUpgrader();
    bool _httpGetWithBackup(gt::net::URL const& url, gt::core::Binary* body);

    IContext* m_context;  // not owned; outlives the service
    gt::core::String m_lastError;
    gt::core::String m_upgraderFile;
    gt::core::String m_upgraderNewFile;
    int m_compareLimitMs;
    int m_runLimitMs;
};

}  // namespace tunnel
