#include "app/Client.h"

#include "app/ClientConstants.h"
#include "app/IBusyRunner.h"
#include "app/service/DownloadService.h"
#include "app/util/QtText.h"
#include "gt/core/io/File.h"
#include "gt/core/io/Mailbox.h"
#include "gt/core/io/SystemFolders.h"
#include "gt/core/util/Dictionary.h"
#include "gt/core/util/Strings.h"
#include "tunnel/Config.h"

using gt::core::Array;
using gt::core::File;
using gt::core::String;

namespace tunnel {

char16_t const* const Client::THEME_COLOR = u"#ffa924";
char16_t const* const Client::API_ROOT = u"/user";
char16_t const* const Client::UPGRADE_URL_KEY = u"upgrade_url";
char16_t const* const Client::VERSION_NEW_KEY = u"version_new";
char16_t const* const Client::VERSION_MIN_KEY = u"version_min";

Client::Client(QWidget* mainWidget, IBusyRunner* runner)
    : Client(mainWidget, runner, Config::apiUrl(), Config::hosts(), Config::encryption()) {}

Client::Client(QWidget* mainWidget, IBusyRunner* runner, String const& apiUrl, Array<String> const& hosts,
               String const& spec)
    : m_mainWidget(mainWidget),
      m_runner(runner),
      m_configProperties(ClientConstants::CONFIG_FILE(), ClientConstants::PROPERTIES_PASSWORD()),
      m_userProperties(ClientConstants::PROPERTIES_FILE(), ClientConstants::PROPERTIES_PASSWORD()),
      m_access(gt::net::URL(apiUrl + API_ROOT), hosts, spec),
      m_apiClient(&m_access, gt::net::URL(apiUrl + API_ROOT), String()) {}

Client::~Client() = default;

void Client::execute(String const& caption, std::function<void()> const& action) {
    if (!m_runner) {
        action();
        return;
    }
    m_runner->execute(toQString(caption), action);
}

bool Client::executeResult(String const& caption, std::function<bool()> const& action) {
    if (!m_runner) return action();
    return m_runner->executeResult(toQString(caption), action);
}

bool Client::updateConfigs() {
    gt::core::Dictionary<String> configs;
    if (!m_apiClient.enumConfigs(&configs)) return false;
    m_configProperties.setAll(configs);
    return true;
}

void Client::setActived(bool actived) {
    if (actived) {
        // A new file in place of whatever is there: never written through a link.
        gt::core::Mailbox::replace(ClientConstants::ACTIVED_FILE(), gt::core::Binary("ACTIVED"));
    } else {
        File::remove(ClientConstants::ACTIVED_FILE());
    }
}

bool Client::isActived() { return File::isFile(ClientConstants::ACTIVED_FILE()); }

bool Client::checkUpgrade(bool* hasUpdate, String* error) {
    DownloadService updater(this);
    bool const answered = updater.compareUpgrade(
        u"检查更新", gt::net::URL(m_configProperties.get(UPGRADE_URL_KEY)), String(), String(), hasUpdate);
    if (!answered && error) *error = updater.lastError();
    return answered;
}

bool Client::applyUpgrade(String* error) {
    DownloadService updater(this);
    bool const started =
        updater.launchUpgrade(u"应用升级", gt::net::URL(m_configProperties.get(UPGRADE_URL_KEY)), String(),
                              String(), gt::core::getProgramFile(), false);
    if (!started && error) *error = updater.lastError();
    return started;
}

bool Client::hasNewVersion() const {
    return compareVersions(m_configProperties.get(VERSION_NEW_KEY), ClientConstants::VERSION) > 0;
}

bool Client::belowMinVersion() const {
    return compareVersions(ClientConstants::VERSION, m_configProperties.get(VERSION_MIN_KEY)) < 0;
}

int Client::compareVersions(String const& a, String const& b) {
    gt::core::Strings const left(a, u".");
    gt::core::Strings const right(b, u".");
    int const fields = left.count() > right.count() ? left.count() : right.count();
    for (int i = 0; i < fields; ++i) {
        int const x = i < left.count() ? left[i].toInt32() : 0;
        int const y = i < right.count() ? right[i].toInt32() : 0;
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

}  // namespace tunnel
