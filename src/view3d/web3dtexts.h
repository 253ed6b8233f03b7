#pragma once
// The web page export's own texts, in one place so that the dialogs, the log and remote replies
// say the same words.

namespace zun::web3dmsg {

inline constexpr const char* kNoVolumeImage = "No volume image is created.";
inline constexpr const char* kTooSmall = "Image X, Y and Z sizes cannot be smaller than 10.";
inline constexpr const char* kAspect = "Image aspect ratio must be less than 500.";
inline constexpr const char* kWidthLarge = "Image width is larger than 16384 pixel.";
inline constexpr const char* kWidthSmall = "Image width is smaller than 256 pixel.";
inline constexpr const char* kHeightLarge = "Image height is larger than 16384 pixel.";
inline constexpr const char* kHeightSmall = "Image height is smaller than 256 pixel.";

inline constexpr const char* kEnterTitle = "Please enter title.";
inline constexpr const char* kEnterDescription = "Please enter description.";
inline constexpr const char* kSelectFolder = "Please select destination folder location.";
inline constexpr const char* kEnterFileName = "Please enter export file name.";
inline constexpr const char* kNameBlank = "Invalid file name.  No whitespace allowed.";
inline constexpr const char* kNameSymbol = "Invalid file name.  No symbol allowed.";
inline constexpr const char* kBadBorder = "Invalid border input.  Border width cannot be negative.";
inline constexpr const char* kBorderTooWide = "Invalid border input.  Border width cannot be larger than ";
inline constexpr const char* kBorderTooWideEnd = " pixel for this image.";
inline constexpr const char* kBadOpacity =
    "Invalid opacity factor input.  The range of opacity factor is between 0.0 and 2.0.";

inline constexpr const char* kNoLibrary =
    "The web page template lacks the X3DOM script library, without which the page shows nothing: ";
inline constexpr const char* kNoLibraryHow =
    " is missing. Run scripts/setup in the program's source folder (it fetches x3dom into "
    "template/web3d) and build again, or copy x3dom.js and x3dom.css of X3DOM 1.8 into the "
    "template's js and css folders.";
inline constexpr const char* kDialogCaption = "Export interactive Web3D image";
inline constexpr const char* kSaving = "Saving Web3D data now";
inline constexpr const char* kSuccess = "Web3D export is successful.";
inline constexpr const char* kPartial =
    "Web3D export is partially successful. Please contact the developer for additional instructions.";
inline constexpr const char* kCancelled =
    "Web3D export was cancelled; the page shows only the finished levels.";
inline constexpr const char* kCopyError = "Error on copying files to user directory, error code: ";
inline constexpr const char* kThumbnailError = "Error writing screen shot to file ";
inline constexpr const char* kWriteError = "Error writing file ";
inline constexpr const char* kPngStruct = "[write_png_file] png_create_write_struct failed.";
inline constexpr const char* kPngInfo = "[write_png_file] png_create_info_struct failed.";

}  // namespace zun::web3dmsg
