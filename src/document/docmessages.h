#pragma once
// The document's own texts, in one place so that the GUI, the log and remote replies agree.

namespace zun::docmsg {

inline constexpr const char* kUnexpectedFileFormat = "Unexpected file format.";

}  // namespace zun::docmsg
