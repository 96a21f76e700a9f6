// LZMA2 decoded a block at a time on several threads. A stream written by several threads resets
// its dictionary at the start of every block, so its blocks decode independently; the chunk headers
// give each block's sizes, so the blocks are found by reading headers alone.
#pragma once

#include "core/decoderRegistry.h"

namespace qov {

// A factory for coder 21 that keeps up to `threads` blocks decoding at once. A block larger than
// a bound (a few dictionaries) is not held in memory: from there on the stream is decoded as usual.
DecoderFactory parallelLzma2Factory(unsigned threads);

} // namespace qov
