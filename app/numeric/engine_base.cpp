// The stage engine compiled for one instruction-set level (see CMakeLists.txt).
#include "fftint.h"

#define KAL_ENGINE_NS base
#include "engine.inc"
