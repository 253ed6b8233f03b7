#pragma once
// The two exports every test plug-in provides (release is left out where a test needs that).
#include "compute/zun_plugin.h"

#define ZT_EXPORT extern "C" __attribute__((visibility("default")))
