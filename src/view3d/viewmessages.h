#pragma once
// The 3-D view's own texts, in one place so that the windows, the log and remote replies agree.

namespace zun::viewmsg {

inline constexpr const char* kNoVolumetricImage = "No volumetric image is created.";
inline constexpr const char* kNoVolumeImage = "No volume image is created.";
inline constexpr const char* kExportNotDisplayed =
    "Only displayed channels and slices are exported: display the chosen ones in the 3-D view first.";
inline constexpr const char* kUnsupportedOutput = "Error on unsupported file output ";
inline constexpr const char* kSavedAt = "Saved at ";
inline constexpr const char* kErrorWriting = "Error writing ";
inline constexpr const char* kSaveSnapshotTitle = "Save Snapshot";
inline constexpr const char* kSnapshotFilters = "JPEG Files (*.jpg);;BMP Files (*.bmp);;Any Files (*.*)";
inline constexpr const char* kSaveOsgTitle = "Save as OSG format";
inline constexpr const char* kOsgFilters =
    "OSG Files (*.osg);;OSG Binary Files (*.osgb);;OSG Ascii Files (*.osgt);;OSG XML Files (*.osgx);;"
    "DirectX image Files (*.dds)";
inline constexpr const char* kLibraryMessage = "Message: ";
inline constexpr const char* kUpdateActivity = "drawing the 3-D view";
inline constexpr const char* kControlPanelFailed = "Could not display Image Control dialog";

}  // namespace zun::viewmsg
