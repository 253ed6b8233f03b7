#pragma once
// The update check's web access over Qt Network: one blocking GET at a time with a short time-out,
// no redirects followed and no cache.

#include <functional>
#include <string>
#include <vector>

#include <QNetworkAccessManager>

#include "app/updatecheck.h"

namespace zun {

// True when a network interface other than the loopback is up and has an address.
bool HasExternalInterface();

class QtHttpFetcher : public HttpFetcher {
public:
    // `addresses` are those the check will fetch; `externalUp` replaces HasExternalInterface.
    explicit QtHttpFetcher(int timeoutMs = 5000, std::vector<std::string> addresses = {},
                           std::function<bool()> externalUp = {})
        : timeoutMs_(timeoutMs), addresses_(std::move(addresses)), externalUp_(std::move(externalUp)) {}
    // False, so that the user hears "No internet connection", when no address could be reached.
    bool OpenSession() override;
    std::optional<std::string> Get(const std::string& url, std::size_t maxBytes) override;

private:
    QNetworkAccessManager manager_;
    int timeoutMs_;
    std::vector<std::string> addresses_;
    std::function<bool()> externalUp_;
};

}  // namespace zun
