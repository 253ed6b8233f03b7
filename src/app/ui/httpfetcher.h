#pragma once
// The update check's web access over Qt Network: one blocking GET at a time with a short time-out,
// no redirects followed and no cache.

#include <QNetworkAccessManager>

#include "app/updatecheck.h"

namespace zun {

class QtHttpFetcher : public HttpFetcher {
public:
    explicit QtHttpFetcher(int timeoutMs = 5000) : timeoutMs_(timeoutMs) {}
    bool OpenSession() override { return true; }
    std::optional<std::string> Get(const std::string& url, std::size_t maxBytes) override;

private:
    QNetworkAccessManager manager_;
    int timeoutMs_;
};

}  // namespace zun
