#include "model/attenblob.h"

// ZUN_ATTEN_BLOB_FILE (path) and ZUN_ATTEN_BLOB_HASH (content hash, so that compiler caches see a
// changed file) come from CMake.
#ifndef ZUN_ATTEN_BLOB_FILE
#error "ZUN_ATTEN_BLOB_FILE must name data/attenuation.zst"
#endif

extern "C" {
extern const unsigned char zun_attenuation_blob[];
extern const unsigned char zun_attenuation_blob_end[];
}

asm(".section .rodata\n"
    ".balign 16\n"
    ".global zun_attenuation_blob\n"
    ".hidden zun_attenuation_blob\n"
    "zun_attenuation_blob:\n"
    ".incbin \"" ZUN_ATTEN_BLOB_FILE
    "\"\n"
    ".global zun_attenuation_blob_end\n"
    ".hidden zun_attenuation_blob_end\n"
    "zun_attenuation_blob_end:\n"
    ".byte 0\n"
    ".previous\n");

namespace zun {

static_assert(sizeof(ZUN_ATTEN_BLOB_HASH) > 1);

const unsigned char* AttenuationBlob() {
    return zun_attenuation_blob;
}

std::size_t AttenuationBlobSize() {
    return static_cast<std::size_t>(zun_attenuation_blob_end - zun_attenuation_blob);
}

}  // namespace zun
