// The stage engine compiled for one instruction-set level (see CMakeLists.txt).
#include "fftint.h"

#define KAL_ENGINE_NS base
#define KAL_ENGINE_WIDTH 2
#define KAL_ENGINE_PAIRS 0
#include "engine.inc"
