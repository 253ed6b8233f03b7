#include "view3d/imageexportoptions.h"

#include <utility>

#include "foundation/pathutil.h"

namespace zun {

ImageExportPresenter::ImageExportPresenter(std::string directory) {
    options_.directory = std::move(directory);
}

bool ImageExportPresenter::TypeChecked(int colourMode) const {
    if (options_.colourMode != colourMode) return false;
    return colourMode == 1 || options_.format > 1;
}

void ImageExportPresenter::OnBrowse(const std::string& folder) {
    if (!folder.empty()) options_.directory = folder;
}

std::string ImageExportPresenter::CheckExport(const std::function<bool(const std::string&)>& isFolder) const {
    // A plain file given as the folder would make every image fail: it counts as invalid too.
    const bool folder = isFolder ? isFolder(options_.directory) : [&] {
        return CheckPathUse(options_.directory, PathUse::kReadFolder).empty();
    }();
    if (!folder) return imageexport::kInvalidDirectory;
    return imageexport::CheckFormatColour(options_.format, options_.colourMode);
}

std::string imageexport::CheckFormatColour(int format, int colourMode) {
    // The PNG writer takes colour pictures only; every other mode writes the channel's words.
    if (format == 1 && colourMode != 1) return kPngMono;
    return {};
}

}  // namespace zun
