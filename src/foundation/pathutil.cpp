#include "foundation/pathutil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>

namespace zun {

namespace {

std::size_t LastSeparator(const std::string& path) {
    const std::size_t b = path.rfind('\\');
    return b != std::string::npos ? b : path.rfind('/');
}

}  // namespace

std::string GetPathFolder(const std::string& path) {
    const std::size_t s = LastSeparator(path);
    return s == std::string::npos ? std::string() : path.substr(0, s);
}

std::string GetPathFileName(const std::string& path) {
    const std::size_t s = LastSeparator(path);
    return s == std::string::npos ? path : path.substr(s + 1);
}

std::string GetFileExtension(const std::string& path) {
    const std::size_t d = path.rfind('.');
    return d == std::string::npos ? std::string() : path.substr(d + 1);
}

std::string GetPathFileTitle(const std::string& path) {
    return StripFileExtension(GetPathFileName(path));
}

std::string StripFileExtension(const std::string& path) {
    const std::size_t d = path.rfind('.');
    return d == std::string::npos ? path : path.substr(0, d);
}

std::string GetPathDrive(const std::string& path, bool useCurrent) {
    const std::size_t c = path.find(':');
    if (c != std::string::npos) return path.substr(0, c) + ":\\";
    return useCurrent ? std::string("/") : std::string();
}

int OpenRegularFile(const std::string& path) {
    // Opened without waiting (a pipe's open would wait for a writer), then checked for its kind.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISREG(st.st_mode) ? errno : EINVAL;
        ::close(fd);
        errno = err;
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

std::FILE* OpenRegularFileStream(const std::string& path) {
    const int fd = OpenRegularFile(path);
    if (fd < 0) return nullptr;
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) ::close(fd);
    return f;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string CheckPathUse(const std::string& path, PathUse use) {
    if (path.empty()) return "No file or folder name was given.";
    for (const char ch : path) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) return "The file or folder name holds a control character.";
    }
    const bool folder = use == PathUse::kReadFolder || use == PathUse::kWriteFolder;
    const bool mustExist = use == PathUse::kReadFile || use == PathUse::kReadFolder;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        // A dangling link or a missing folder on the way: the writer itself says what failed.
        if (!mustExist) return {};
        return path + " was not found.";
    }
    if (folder && !S_ISDIR(st.st_mode)) return path + " is not a folder.";
    if (!folder && !S_ISREG(st.st_mode)) return path + " is not a regular file.";
    return {};
}

int CopyDirectoryTree(const std::string& source, const std::string& target, int* fileCount) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directory(target, ec);
    if (ec && !fs::is_directory(target)) return ec.value();
    fs::directory_iterator it(source, ec);
    if (ec) return 0;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) return ec.value();
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        const std::string to = (fs::path(target) / name).string();
        if (it->is_directory(ec)) {
            if (const int r = CopyDirectoryTree(it->path().string(), to, fileCount)) return r;
        } else {
            fs::copy_file(it->path(), to, fs::copy_options::overwrite_existing, ec);
            if (ec) return ec.value();
            if (fileCount) ++*fileCount;
        }
    }
    return ec ? ec.value() : 0;
}

namespace {

// Decodes one UTF-8 sequence at i; advances i. Invalid bytes give U+FFFD and advance one byte.
std::uint32_t NextCodePoint(const std::string& s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len = 0;
    std::uint32_t cp = 0, min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++i;
        return 0xFFFD;
    }
    if (i + len > s.size()) {
        ++i;
        return 0xFFFD;
    }
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += len;
    return cp;
}

}  // namespace

std::string HtmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::uint32_t c = NextCodePoint(text, i);
        if (c == '\r') {
            out += "<br/>";
        } else if (c == '&' || c == '<' || c == '>' || c == '"' || c == '\'' || c > 126) {
            out += "&#" + std::to_string(c) + ";";
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string XmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

int SplitMultiSelectFileList(const char* buffer, std::size_t size, std::string* folder,
                             std::vector<std::string>* names) {
    if (names) names->clear();
    if (!buffer || size == 0 || buffer[0] == '\0') return 0;
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i < size && buffer[i] != '\0') {
        std::size_t j = i;
        while (j < size && buffer[j] != '\0') ++j;
        parts.emplace_back(buffer + i, j - i);
        i = j + 1;
    }
    if (folder) *folder = parts[0];
    if (parts.size() == 1) return 1;
    std::vector<std::string> list(parts.begin() + 1, parts.end());
    std::sort(list.begin(), list.end());
    const int n = static_cast<int>(list.size());
    if (names) *names = std::move(list);
    return n;
}

int ReadTextToken(std::istream& in, double* number, std::string* word) {
    for (;;) {
        const int c = in.get();
        if (c == std::char_traits<char>::eof() || !in) return kTokenEndOfStream;
        if (c == '\n') return kTokenEndOfLine;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f') continue;
        if (c == '#') {
            std::string rest;
            for (int d = in.get(); d != std::char_traits<char>::eof(); d = in.get()) {
                if (d == '\n') {
                    in.unget();
                    break;
                }
                rest += static_cast<char>(d);
            }
            in.clear(in.rdstate() & ~std::ios::failbit & ~std::ios::eofbit);
            if (word) *word = rest;
            return kTokenComment;
        }
        const bool digit = c >= '0' && c <= '9';
        if (digit || c == '.') {
            in.unget();
            const auto pos = in.tellg();
            double v = 0;
            in >> v;
            if (in.fail()) {
                // Not a number after all ("." alone): take the character so the next call moves on.
                in.clear();
                v = 0;
                if (pos != std::istream::pos_type(-1) && in.tellg() == pos) in.get();
            }
            if (number) *number = v;
            return kTokenNumber;
        }
        if ((c < 0x80 && std::isalpha(c)) || c == '"') {
            in.unget();
            std::string w;
            in >> w;
            if (!w.empty() && w.front() == '"') w.erase(0, 1);
            if (!w.empty() && w.back() == '"') w.pop_back();
            if (word) *word = w;
            return kTokenWord;
        }
        return kTokenOther;
    }
}

namespace {
std::mutex& PumpMutex() {
    static std::mutex m;
    return m;
}
MessagePump& Pump() {
    static MessagePump pump;
    return pump;
}
}  // namespace

void SetMessagePump(MessagePump pump) {
    std::lock_guard lock(PumpMutex());
    Pump() = std::move(pump);
}

int PumpMessages() {
    MessagePump pump;
    {
        std::lock_guard lock(PumpMutex());
        pump = Pump();
    }
    return pump ? pump() : 0;
}

WindowPoint CenterInMainFrame(const WindowRect& main, int clientWidth, int clientHeight, int dx, int dy) {
    return {main.left + (main.right - main.left - clientWidth) / 2 + dx,
            main.top + (main.bottom - main.top - clientHeight) / 2 + dy};
}

CascadePlacement CascadeFloatingWindow(const std::vector<WindowRect>& open, bool alreadyOpen,
                                       const WindowRect* anchor, int dx, int dy, int W, int H, int h) {
    CascadePlacement p;
    if (alreadyOpen) {
        p.kind = CascadePlacement::BringToTop;
        return p;
    }
    p.append = true;
    if (open.empty()) {
        if (!anchor) {
            p.kind = CascadePlacement::CenterInMainFrame;
            return p;
        }
        auto clamp = [](int v, int hi) { return v <= 10 ? 10 : (v >= hi - 10 ? hi - 10 : v); };
        p.at = {clamp(anchor->left + dx, W), clamp(anchor->top + dy, H)};
        return p;
    }
    const WindowRect& last = open.back();
    if (last.right + h / 2 <= W && last.bottom + h <= H) {
        p.at = {last.left + h / 2, last.top + h};
        return p;
    }
    // Back to the first window of the present cascade, then start a new one beside it.
    std::size_t i = open.size() - 1;
    while (i > 0 && open[i - 1].top <= open[i].top) --i;
    const WindowRect& r = open[i];
    if (r.right - h / 2 <= W && r.bottom + h / 2 <= H) {
        p.at = {r.left - h / 2, r.top + h / 2};
        return p;
    }
    p.kind = CascadePlacement::CenterInMainFrame;
    return p;
}

WindowPoint KeepOnScreen(WindowPoint at, int width, int height, const WindowRect& screen) {
    auto fit = [](int v, int size, int lo, int hi) { return std::max(lo, std::min(v, hi - size)); };
    return {fit(at.x, width, screen.left, screen.right), fit(at.y, height, screen.top, screen.bottom)};
}

WindowPoint PlaceFloatingWindow(const std::vector<WindowRect>& open, const WindowRect* anchor, int dx, int dy,
                                const WindowRect& screen, const WindowRect& mainFrame, int captionHeight,
                                int width, int height) {
    // The cascade counts from the screen's corner.
    auto shift = [&screen](WindowRect r) {
        return WindowRect{r.left - screen.left, r.top - screen.top, r.right - screen.left,
                          r.bottom - screen.top};
    };
    std::vector<WindowRect> local;
    for (const WindowRect& r : open) local.push_back(shift(r));
    const WindowRect a = anchor ? shift(*anchor) : WindowRect{};
    const CascadePlacement c =
        CascadeFloatingWindow(local, false, anchor ? &a : nullptr, dx, dy, screen.right - screen.left,
                              screen.bottom - screen.top, captionHeight);
    WindowPoint at = c.kind == CascadePlacement::Place
                         ? WindowPoint{c.at.x + screen.left, c.at.y + screen.top}
                         : CenterInMainFrame(mainFrame, width, height, dx, dy);
    return KeepOnScreen(at, width, height, screen);
}

}  // namespace zun
