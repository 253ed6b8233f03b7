#pragma once
// Writing the web page set: the "Web3D" folder with a copy of the template, one Base64 script per
// resolution level, the XHTML page, and beside the folder the optional thumbnail and loader page.

#include <cstdint>
#include <functional>
#include <string>

#include "foundation/voxeltypes.h"
#include "view3d/web3doptions.h"
#include "view3d/webpage.h"

namespace zun {

class ProgressSink;

enum Web3DResult : int {
    kWeb3DDialogCancelled = -1,
    kWeb3DSuccess = 0,
    kWeb3DNoLibrary = 1,    // written, but the template gave no "js/x3dom.js"
    kWeb3DCancelled = 2,    // stopped by the user; the page lists the finished levels
    kWeb3DWriteFailed = 3,  // a file could not be written (message names it)
    kWeb3DRefused = 8,      // refused before writing (message says why): the volume changed, the
                            // options cannot be written, or the template lacks the script library
    kWeb3DCopyFailed = 9,
};

struct Web3DExportInput {
    // The view's RGBA volume now (it may have been rebuilt since the options were checked).
    const std::uint8_t* volume = nullptr;
    Dims volumeDims{0, 0, 0};
    Web3DDocumentFacts facts;
    Web3DPageFacts page;
    std::string templateFolder;
    std::string executable, installFolder;  // named in the report of a template without library
    ProgressSink* progress = nullptr;
    // Writes the view's current frame as a JPEG; false when nothing was captured or written.
    std::function<bool(const std::string& path)> writeThumbnail;
    // Receives the report text when the template gave no script library (nothing is sent anywhere
    // unless the caller chooses to).
    std::function<void(const std::string& report)> reportMissingLibrary;
    int threads = 1;
};

// The page files' base name: the options' file name without a ".xhtml" extension.
std::string Web3DBaseName(const std::string& fileName);

// The text describing a template copy that gave no script library.
std::string BuildWeb3DUsageReport(const std::string& version, int copiedFiles,
                                  const std::string& templateFolder, const std::string& executable,
                                  const std::string& installFolder);

// Writes the page set for checked options; one of Web3DResult. message carries what the user
// should read (a thumbnail failure does not change the result).
int WriteWeb3DFiles(Web3DOptions& options, const Web3DExportInput& in, std::string& message);

}  // namespace zun
