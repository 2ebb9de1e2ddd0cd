// The stage engine compiled for one instruction-set level (see CMakeLists.txt).
#include "fftint.h"

#define KAL_ENGINE_NS avx2
#define KAL_ENGINE_WIDTH 4
#define KAL_ENGINE_PAIRS 1
#include "engine.inc"
