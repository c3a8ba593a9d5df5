// Compiled only by the layer checks, for one library's include root: includes the
// header ZE_PROBED_HEADER names. It must compile for a layer below the library and
// fail for a layer above it.
#include ZE_PROBED_HEADER
