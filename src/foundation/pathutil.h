#pragma once
// Paths, folders, text tables and the web page's escaping. Both '\' and '/' count as separators
// where stated ('\' first: stored paths may come from other systems; on Linux '\' is otherwise a
// legal file-name character).

#include <cstddef>
#include <cstdio>
#include <functional>
#include <istream>
#include <string>
#include <vector>

namespace zun {

// The text before the last '\' (else the last '/'); "" when there is neither.
std::string GetPathFolder(const std::string& path);
// The text after the last '\' (else the last '/'); the whole path when there is neither.
std::string GetPathFileName(const std::string& path);
// The text after the last '.' anywhere in the path; "" when there is none.
std::string GetFileExtension(const std::string& path);
// The file name without the part from its last '.' on.
std::string GetPathFileTitle(const std::string& path);
// The text before the last '.' anywhere in the path; the whole path when there is none.
std::string StripFileExtension(const std::string& path);
// "X:\" for a path whose first colon follows X; "" without a colon, or with useCurrent the root
// of the current directory ("/": this system has no drives).
std::string GetPathDrive(const std::string& path, bool useCurrent);

// Opens a file for reading, only when it is a regular file (or a symbolic link to one): a named
// pipe would block the opening thread until some writer appears, and a device may never end.
// Returns the descriptor, or -1 with errno set (EINVAL for a file of another kind).
int OpenRegularFile(const std::string& path);
// The same as a stdio stream for binary reading; null on failure.
std::FILE* OpenRegularFileStream(const std::string& path);
// Whether the path names a regular file (following symbolic links); never opens it.
bool IsRegularFile(const std::string& path);

// What a path from outside (a remote word, a dialog field) is to be used for.
enum class PathUse {
    kReadFile,     // an existing regular file
    kWriteFile,    // a regular file, or nothing yet
    kReadFolder,   // an existing folder
    kWriteFolder,  // a folder, or nothing yet
};
// The one check every such path passes before anything is opened or created: why it may not be
// used (empty when it may). Refused are an empty path; a NUL or another control character (the
// system calls would cut the path at a NUL and write somewhere else); and what exists but is not
// of the kind asked for, following symbolic links (a named pipe or a device would block the
// thread that opens it). The path itself is named in the reason only when it is printable.
std::string CheckPathUse(const std::string& path, PathUse use);

// Copies a folder tree: creates the target (an existing one is fine), copies every file
// (overwriting) and every sub-folder, skipping names that begin with '.'. 0, or the errno code of
// the first failure (what was copied before stays, and is counted). A source that cannot be
// listed copies nothing and gives 0.
int CopyDirectoryTree(const std::string& source, const std::string& target, int* fileCount);

// Text for the web page: '&', '<', '>', '"', '\'' and every code point above 126 become "&#n;",
// a carriage return "<br/>"; other characters stay. The text is UTF-8; a byte that does not
// start a valid sequence becomes U+FFFD.
std::string HtmlEscape(const std::string& text);
// The five XML characters replaced by their named entities; other bytes stay.
std::string XmlEscape(const std::string& text);

// The buffer of a multi-selection file dialog: NUL-terminated strings ending with an empty one
// (at most `size` bytes are looked at). The folder is the first string; names the others, sorted.
// Returns the number of names, or 1 when there is only the first string (then the full path).
int SplitMultiSelectFileList(const char* buffer, std::size_t size, std::string* folder,
                             std::vector<std::string>* names);

// Tokens of the text tables the filter dialogs import.
enum TextToken : int {
    kTokenComment = 0,
    kTokenWord = 1,
    kTokenNumber = 2,
    kTokenEndOfLine = 3,
    kTokenEndOfStream = 4,
    kTokenOther = 5,
};
int ReadTextToken(std::istream& in, double* number, std::string* word);

// Keeps the user interface alive in long loops on its thread: runs what the GUI installed (0 the
// queue was emptied, 1 the program is quitting: the loop should stop). Without a GUI, 0.
using MessagePump = std::function<int()>;
void SetMessagePump(MessagePump pump);
int PumpMessages();

// Window placement arithmetic (the GUI moves the windows).
struct WindowRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};
struct WindowPoint {
    int x = 0, y = 0;
};
// Top-left corner that centres a window of the given client size over the main window, shifted.
WindowPoint CenterInMainFrame(const WindowRect& mainFrame, int clientWidth, int clientHeight, int dx, int dy);

struct CascadePlacement {
    enum Kind { Place, BringToTop, CenterInMainFrame } kind = Place;
    WindowPoint at;       // for Place
    bool append = false;  // the window joins the list of floating windows
};
// Where a floating window goes, given the rectangles of the floating windows already open (in
// order), whether the window is among them, an optional anchor, the screen size and the caption
// height.
CascadePlacement CascadeFloatingWindow(const std::vector<WindowRect>& open, bool alreadyOpen,
                                       const WindowRect* anchor, int dx, int dy, int screenWidth,
                                       int screenHeight, int captionHeight);

// The top-left corner that puts a window of the given size wholly on the screen (the screen's
// rectangle need not start at 0, 0), moving it as little as it can; a window larger than the
// screen keeps its left or top edge on the screen's.
WindowPoint KeepOnScreen(WindowPoint at, int width, int height, const WindowRect& screen);

// A floating window not yet open: the cascade above worked out inside the screen that holds the
// anchor (or the main window), centred over the main window when the cascade finds no place, then
// kept wholly on that screen.
WindowPoint PlaceFloatingWindow(const std::vector<WindowRect>& open, const WindowRect* anchor, int dx, int dy,
                                const WindowRect& screen, const WindowRect& mainFrame, int captionHeight,
                                int width, int height);

}  // namespace zun
