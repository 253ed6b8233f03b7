#include "app/ui/httpfetcher.h"

#include <memory>

#include <QEventLoop>
#include <QNetworkInterface>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include "app/version.h"

namespace zun {

bool HasExternalInterface() {
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        const auto f = i.flags();
        if (!(f & QNetworkInterface::IsUp) || !(f & QNetworkInterface::IsRunning) ||
            (f & QNetworkInterface::IsLoopBack))
            continue;
        if (!i.addressEntries().isEmpty()) return true;
    }
    return false;
}

bool QtHttpFetcher::OpenSession() {
    return SessionPossible(externalUp_ ? externalUp_() : HasExternalInterface(), addresses_);
}

std::optional<std::string> QtHttpFetcher::Get(const std::string& url, std::size_t maxBytes) {
    const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
    if (!address.isValid() || (address.scheme() != "http" && address.scheme() != "https"))
        return std::nullopt;
    QNetworkRequest request(address);
    request.setHeader(
        QNetworkRequest::UserAgentHeader,
        QString::fromStdString(GetVersionString("ProductName") + "/" + GetVersionString("ProductVersion")));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(timeoutMs_);
    std::unique_ptr<QNetworkReply> reply(manager_.get(request));
    QByteArray body;
    bool tooLong = false;
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
        body += reply->read(static_cast<qint64>(maxBytes) + 1 - body.size());
        if (static_cast<std::size_t>(body.size()) > maxBytes) {
            tooLong = true;
            reply->abort();
        }
    });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!tooLong) body += reply->read(static_cast<qint64>(maxBytes) + 1 - body.size());
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // A body longer than asked for is no answer the caller can use.
    if (tooLong || static_cast<std::size_t>(body.size()) > maxBytes) return std::nullopt;
    if (reply->error() != QNetworkReply::NoError || status < 200 || status >= 300) return std::nullopt;
    return body.toStdString();
}

}  // namespace zun
