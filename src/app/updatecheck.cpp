#include "app/updatecheck.h"

#include <cctype>

#include "app/preferences.h"
#include "app/version.h"
#include "foundation/numformat.h"
#include "foundation/pathutil.h"
#include "platform/prompt.h"

namespace zun {

std::vector<std::string> SplitVersionTokens(const std::string& text) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (c == ' ' || c == '\n') {
            if (!cur.empty()) out.push_back(std::move(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(std::move(cur));
    return out;
}

std::vector<std::string> SplitVersion(const std::string& version) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = version.find('.', start);
        out.push_back(version.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return out;
}

namespace {
int Component(const std::vector<std::string>& list, std::size_t i) {
    int v = 0;
    if (i < list.size() && ScanString(list[i], "%d", &v) != 0) v = 0;
    return v;
}
}  // namespace

int CompareVersions(const std::vector<std::string>& first, const std::vector<std::string>& second) {
    for (std::size_t i = 0; i < first.size(); ++i) {
        const int a = Component(first, i), b = Component(second, i);
        if (a > b) return 1;
        if (a < b) return 2;
    }
    return 0;
}

std::string GetValueAfterKey(const std::vector<std::string>& tokens, const std::string& key) {
    for (std::size_t i = 0; i < tokens.size(); ++i)
        if (tokens[i] == key) return i + 1 < tokens.size() ? tokens[i + 1] : std::string();
    return {};
}

std::string PercentEncode(const std::string& text) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '.' || c == '_' || c == '~';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

bool IsWebAddress(const std::string& url) {
    auto starts = [&](const char* p) {
        const std::string s(p);
        if (url.size() <= s.size()) return false;
        for (std::size_t i = 0; i < s.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(url[i])) != s[i]) return false;
        return true;
    };
    return starts("http://") || starts("https://");
}

bool IsLoopbackAddress(const std::string& url) {
    if (!IsWebAddress(url)) return false;
    std::string host = url.substr(url.find("//") + 2);
    host = host.substr(0, host.find_first_of("/?#"));
    if (const auto at = host.rfind('@'); at != std::string::npos) host = host.substr(at + 1);
    if (!host.empty() && host.front() == '[') return host.compare(0, 5, "[::1]") == 0;
    host = host.substr(0, host.find(':'));
    for (char& c : host) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (host == "localhost") return true;
    return host.compare(0, 4, "127.") == 0 && host.find_first_not_of("0123456789.") == std::string::npos;
}

bool SessionPossible(bool externalInterfaceUp, const std::vector<std::string>& addresses) {
    if (externalInterfaceUp) return true;
    bool any = false;
    for (const std::string& a : addresses) {
        if (a.empty()) continue;
        if (!IsLoopbackAddress(a)) return false;
        any = true;
    }
    return any;
}

bool UpdateCheckDue(bool manual, std::uint32_t updatetime, std::int64_t now) {
    if (manual || updatetime == 0) return true;
    const std::int64_t since = now - static_cast<std::int64_t>(updatetime);
    return since > 86400;
}

UpdateChecker::UpdateChecker(UpdateSect& section, UpdateCheckServices services)
    : section_(section), services_(std::move(services)) {}

std::string UpdateChecker::Version(const char* name) const {
    return services_.version ? services_.version(name) : GetVersionString(name);
}

std::string UpdateChecker::UsageReportUrl() const {
    if (section_.usage.empty()) return {};
    // Product and version only: the report never names the computer or the user.
    const std::string details = Version("FileDescription") + "-" + Version("ProductVersion");
    return section_.usage + PercentEncode(XmlEscape(details));
}

// A version file must begin with the marker and name a version; anything else counts as none.
std::string UpdateChecker::Fetch(const std::string& url) {
    if (url.empty()) return {};
    std::optional<std::string> body = services_.http->Get(url, kMaxVersionFile);
    if (!body || body->compare(0, 6, "zunver") != 0 || SplitVersionTokens(*body).size() < 2) return {};
    return *body;
}

void UpdateChecker::Offer(const std::vector<std::string>& tokens, const std::string& prefix) {
    const std::string description = Version("FileDescription");
    const std::string tag = "<" + Version("InternalName") + ">";
    const std::string program = GetValueAfterKey(tokens, tag);
    const std::string site = tokens.size() > 2 ? tokens[2] : std::string();
    PromptRequest q;
    q.buttons = PromptButtons::YesNo;
    q.icon = PromptIcon::Question;
    std::string target;
    if (!program.empty()) {
        q.text = prefix + "A updated " + description + " software version " + tokens[1] +
                 " has been released.\n\nDownload the latest version of " + description + " software now?";
        target = program;
    } else {
        q.text = prefix + "A updated " + description + " software version " + tokens[1] +
                 " has been relased.\n\nVisit the ZUN software download site now?";
        target = site;
    }
    // The version file may come over plain HTTP: only a web address is ever handed to the
    // desktop, and the user sees where it leads before saying yes.
    const bool openable = IsWebAddress(target);
    if (openable) q.detail = target;
    const int answer = services_.prompt->Ask(q);
    if (answer == kPromptYes && openable && services_.openUrl) services_.openUrl(target);
}

int UpdateChecker::CheckForUpdate(bool manual, const std::string& prefix) {
    const std::int64_t now = services_.now();
    if (!UpdateCheckDue(manual, section_.updatetime, now)) return kUpdateQuiet;
    if (!services_.http->OpenSession()) return kUpdateNoSession;

    if (const std::string usage = UsageReportUrl(); !usage.empty()) services_.http->Get(usage, 0);

    const std::string first = Fetch(section_.server1);
    const std::string second = Fetch(section_.server2);
    if (first.empty() && second.empty()) return kUpdateNoVersionFile;

    std::vector<std::string> tokens;
    if (second.empty()) {
        tokens = SplitVersionTokens(first);
    } else if (first.empty()) {
        tokens = SplitVersionTokens(second);
    } else {
        const auto a = SplitVersionTokens(first), b = SplitVersionTokens(second);
        tokens = CompareVersions(SplitVersion(a[1]), SplitVersion(b[1])) == 2 ? b : a;
    }

    bool offered = false;
    if (CompareVersions(SplitVersion(Version("ProductVersion")), SplitVersion(tokens[1])) == 2) {
        Offer(tokens, prefix);
        offered = true;
    }
    section_.updatetime = static_cast<std::uint32_t>(now);
    if (services_.saveSection) services_.saveSection();
    return manual && !offered ? kUpdateUpToDate : kUpdateQuiet;
}

}  // namespace zun
