#ifndef TOLVANE_CAPI_BLOCK_RELEASE_H_
#define TOLVANE_CAPI_BLOCK_RELEASE_H_

namespace tolvane {

// What tolvane_free hands a block to once it is wiped, from the start of its header:
// std::free, or a test's function that looks at the wiped bytes before freeing them. Internal,
// neither installed nor exported.
using BlockRelease = void (*)(void* start) noexcept;
extern BlockRelease g_release_block;

}  // namespace tolvane

#endif  // TOLVANE_CAPI_BLOCK_RELEASE_H_
