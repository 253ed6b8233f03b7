#pragma once
// Slice images of the sample written to a folder, one file per slice along one plane: grey images
// of the raw voxel values of each chosen channel, or one colour image per slice that shows what
// the tree's display settings show. Files are TIFF or PNG, each written under a temporary name and
// renamed, so a failed or cancelled run leaves only whole files under final names.

#include <cstdint>
#include <string>
#include <vector>

#include "document/docmessages.h"

namespace zun {

class DisplayTree;
class MainFrameChannel;
class ProgressSink;
class Prompt;
class ZunImage;

enum SliceExportScope : int {
    kExportSelectedChannels = 1,
    kExportSelectedSlices = 2,
    kExportDocument = 3,
};

enum SlicePlane : int { kPlaneXY = 0, kPlaneYZ = 1, kPlaneZX = 2 };

enum SliceImageFormat : int { kImagePng = 1, kImageTiff = 2 };

// What one run exports.
struct SliceExportJob {
    const DisplayTree* tree = nullptr;
    const ZunImage* sample = nullptr;
    std::string title;   // the document title; its extension is dropped in file names
    std::string folder;  // the output folder
    int scope = kExportDocument;
    int plane = kPlaneXY;
    int format = kImagePng;
};

// What the run needs of the program; every member may be null (then nothing is asked, shown or
// cancelled: the 500-files question is taken as answered OK).
struct SliceExportServices {
    Prompt* prompt = nullptr;           // the questions and the final report
    MainFrameChannel* frame = nullptr;  // the status-bar progress
    const void* document = nullptr;     // sent with the status-bar progress
    ProgressSink* progress = nullptr;   // a progress dialog whose Cancel stops the run
    int threads = 0;                    // threads of the pixel loops; <= 0: every processor
};

struct SliceExportResult {
    std::vector<std::string> written;  // the files written, in order
    FileFailures failures;             // what the final report lists
    bool asked = false;                // the many-files question was asked
    bool cancelled = false;            // refused at the question or cancelled while writing
    bool refused = false;              // nothing to export or no memory: nothing written
    std::string message;               // the refusal or the failures' report it told; empty if none
    double fillSeconds = 0;            // time spent computing pixels
    double writeSeconds = 0;           // time spent writing files
};

namespace sliceexport {
inline constexpr const char* kTooSmall = "Image too small to export.";
inline constexpr const char* kNothingVisible = ": No visible slice found.";
inline constexpr const char* kMemoryActivity = "exporting slice image(s)";
inline constexpr const char* kReportVerb = "export";
// "Up to <count> files will be written - proceed?"
std::string ManyFilesQuestion(unsigned count);
}  // namespace sliceexport

// Images per channel along the plane (nz, nx or ny) and their width and height.
struct SliceGeometry {
    int count = 0, width = 0, height = 0;
};
SliceGeometry GetSliceGeometry(int nx, int ny, int nz, int plane);

// Digits of the slice numbers in file names: 1 for fewer than two images, else the decimal
// digits of count - 1.
int SliceNumberDigits(int count);

// A name part with path separators and control characters replaced by "_", so that no title or
// channel name can lead a file out of the output folder.
std::string SafeFileNamePart(const std::string& part);

// "<folder>/<title>_<channel>_mono<bits>_<plane>_" (grey) or "<folder>/<title>_colour_<plane>_"
// (colour, channel empty and bits 0), then the slice number and ".png" or ".tif".
std::string SliceFileName(const std::string& folder, const std::string& title, const std::string& channel,
                          int bits, int plane, int format, int slice, int count);

// Grey images of each chosen channel, 8 or 16 bits per sample. Reports through the prompt.
SliceExportResult ExportSliceImagesData(const SliceExportJob& job, int bits,
                                        const SliceExportServices& services);

// Colour images of the composite of the chosen channels. TIFF images are drawn over the view's
// background colour (0x00BBGGRR, mapped by the tree's colour scheme); PNG images keep alpha.
SliceExportResult ExportSliceImagesColour(const SliceExportJob& job, std::uint32_t viewBackground,
                                          const SliceExportServices& services);

}  // namespace zun
