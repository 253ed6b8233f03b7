#pragma once
// The compressed attenuation tables embedded in the library (data/attenuation.zst).

#include <cstddef>

namespace zun {

const unsigned char* AttenuationBlob();
std::size_t AttenuationBlobSize();

}  // namespace zun
