#pragma once
// The texts of movie recording, said the same way by the dialogs, the log and the tests.

namespace zun::recmsg {

inline constexpr const char* kSaveMovie = "Save Movie of This View";
inline constexpr const char* kRecordComputationSuffix = ": Record Computation";
inline constexpr const char* kFramesPerSecond = "Frames per second:";
inline constexpr const char* kSaveFramesAlso = "Save individual frames also";
inline constexpr const char* kFpsNotPositive = "Frames per second must be a positive integer.";
inline constexpr const char* kAviFilters = "Avi Files (*.avi);;Any Files (*)";
inline constexpr const char* kCouldNotCreate = "Could not create ";
inline constexpr const char* kErrorCreatingStream = "Error %08x creating compressed AVI stream";
inline constexpr const char* kErrorSettingFormat = "Error %08x setting AVI stream format";
inline constexpr const char* kStoppedWith = "%s computation recording stopped with ";
inline constexpr const char* kWait = "wait";
inline constexpr const char* kFrame = "frame";
inline constexpr const char* kErrorSuffix = " error\n";
inline constexpr const char* kRecording = "Recording...";
// The compressor choice.
inline constexpr const char* kCompressionTitle = "Video Compression";
inline constexpr const char* kCompressor = "Compressor:";
inline constexpr const char* kUncompressed = "Full Frames (Uncompressed)";
inline constexpr const char* kMsVideo1 = "Microsoft Video 1";

}  // namespace zun::recmsg
