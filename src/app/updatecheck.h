#pragma once
// The check for a newer program version: a small version file fetched from up to two addresses
// of the "Update" preferences, compared with the program's own version, and an offer to open the
// download page. Nothing is sent while the addresses are empty (the default), and the optional
// usage report carries the product and its version only.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zun {

class Prompt;
class UpdateSect;

// How the check reaches the web. The GUI implements it with Qt Network; tests with fakes or a
// loopback server.
class HttpFetcher {
public:
    virtual ~HttpFetcher() = default;
    // False when no connection to the web can be made at all.
    virtual bool OpenSession() = 0;
    // The body of a successful GET (at most `maxBytes`); nullopt when the address cannot be read.
    virtual std::optional<std::string> Get(const std::string& url, std::size_t maxBytes) = 0;
};

// Results of CheckForUpdate.
enum UpdateResult : int {
    kUpdateQuiet = 0,         // skipped by the one-day rule, an automatic check, or a newer version offered
    kUpdateUpToDate = 1,      // a manual check found no newer version
    kUpdateNoSession = 2,     // no connection could be opened
    kUpdateNoVersionFile = 3  // neither address gave a version file
};

namespace updatemsg {
inline constexpr const char* kUpToDate = "The installed ZUN software version is up to date.";
inline constexpr const char* kNoConnection = "No internet connection. Please try again later.";
inline constexpr const char* kNoServer = "Cannot connect to download site server. Please try again later.";
}  // namespace updatemsg

// The version file's pieces: blanks and line feeds separate, a carriage return stays in its
// token, empty tokens are dropped.
std::vector<std::string> SplitVersionTokens(const std::string& text);
// A dotted version split at every ".".
std::vector<std::string> SplitVersion(const std::string& version);
// 1 when first is newer, 2 when it is older, 0 when equal. Components are compared as numbers
// ("%d", anything else 0) for each component of the first list; a component the second list
// lacks counts as 0.
int CompareVersions(const std::vector<std::string>& first, const std::vector<std::string>& second);
// The token after the first one equal to the key; "" when the key is missing or the last token.
std::string GetValueAfterKey(const std::vector<std::string>& tokens, const std::string& key);
// Every byte outside the unreserved set of a URL written as %XX.
std::string PercentEncode(const std::string& text);
// Whether the address may be handed to the desktop: http and https only.
bool IsWebAddress(const std::string& url);
// Whether the address names this machine itself (localhost, 127.x.x.x or [::1]).
bool IsLoopbackAddress(const std::string& url);
// Whether a session for the check can be opened: some network interface other than the loopback
// is up, or every non-empty address lies on this machine. Without either no address is reachable.
bool SessionPossible(bool externalInterfaceUp, const std::vector<std::string>& addresses);
// The one-day rule: an automatic check runs only when the last one is more than 86400 seconds
// in the past (never when the stored time lies in the future).
bool UpdateCheckDue(bool manual, std::uint32_t updatetime, std::int64_t now);

struct UpdateCheckServices {
    HttpFetcher* http = nullptr;
    Prompt* prompt = nullptr;
    std::function<void(const std::string& url)> openUrl;  // the desktop's default action
    std::function<std::int64_t()> now;                    // seconds since 1970 (UTC)
    std::function<void()> saveSection;                    // writes the Update section
    // The program's version strings by name (GetVersionString when empty).
    std::function<std::string(const std::string&)> version;
};

class UpdateChecker {
public:
    static constexpr std::size_t kMaxVersionFile = 64 * 1024;

    UpdateChecker(UpdateSect& section, UpdateCheckServices services);
    // Runs the check; see UpdateResult. `prefix` goes in front of the new-version question.
    int CheckForUpdate(bool manual, const std::string& prefix);
    // The usage report's address: the "usage" preference (which ends in its query key, for
    // example ".../usage-zun.php?details=") followed by the escaped description and version; ""
    // while that preference is empty.
    std::string UsageReportUrl() const;

private:
    std::string Version(const char* name) const;
    std::string Fetch(const std::string& url);
    void Offer(const std::vector<std::string>& tokens, const std::string& prefix);

    UpdateSect& section_;
    UpdateCheckServices services_;
};

}  // namespace zun
