#pragma once
// What the "Export 2D images" dialog asks and checks: the output folder, the image type, the file
// format and the slice plane. The dialog only draws this state and forwards clicks.

#include <functional>
#include <string>

namespace zun {

struct ImageExportOptions {
    std::string directory;
    int format = 1;      // 1 PNG, 2 TIFF
    int plane = 0;       // 0 XY, 1 YZ, 2 ZX
    int colourMode = 1;  // 1 Colour, 2 Mono 8 bit, 3 Mono 16 bit
};

namespace imageexport {
inline constexpr const char* kCaption = "Export 2D images";
inline constexpr const char* kBrowseTitle = "Select export path";
inline constexpr const char* kInvalidDirectory = "Invalid directory input.";
inline constexpr const char* kPngMono = "Current PNG format does not support Mono colour.";

// Why a file format cannot hold images of a colour mode (the options' numbering); empty when it
// can. The dialog and the remote export refuse the same choices with the same words.
std::string CheckFormatColour(int format, int colourMode);
}  // namespace imageexport

class ImageExportPresenter {
public:
    // The dialog opens on PNG, Colour and XY with the caller's folder.
    explicit ImageExportPresenter(std::string directory);

    const ImageExportOptions& Options() const { return options_; }

    // What the radios show. A Mono type chosen under TIFF stays chosen when PNG is picked again,
    // but no type radio shows it.
    bool FormatChecked(int format) const { return options_.format == format; }
    bool TypeChecked(int colourMode) const;
    bool MonoEnabled() const { return options_.format != 1; }
    bool PlaneChecked(int plane) const { return options_.plane == plane; }

    void OnPng() { options_.format = 1; }
    void OnTiff() { options_.format = 2; }
    void OnColourMode(int colourMode) { options_.colourMode = colourMode; }
    void OnPlane(int plane) { options_.plane = plane; }
    // The folder the browser returned; an empty one (cancelled) changes nothing.
    void OnBrowse(const std::string& folder);

    // The check of "Export": empty when the dialog may close, else the message to show.
    // isFolder tells whether a path is an existing folder (the file system by default).
    std::string CheckExport(const std::function<bool(const std::string&)>& isFolder = {}) const;

private:
    ImageExportOptions options_;
};

}  // namespace zun
