#pragma once

#if defined(TESSARC_BUILDING)
#define TESSARC_EXPORT __attribute__((visibility("default")))
#else
#define TESSARC_EXPORT
#endif
