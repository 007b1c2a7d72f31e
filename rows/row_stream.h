#pragma once

#include <functional>

#include "row_engine.h"
#include "worker_pool.h"

namespace fernwise {

// The lastPointInside the sequential driver carries into the first point of
// `row`, when it started the plot with `initial`. Only the Julia and
// Mandelbrot kernels with periodicity checking let it change a pixel (see
// RowEngine); for them it walks back from the row above to the nearest row
// whose last point ends the same after either carried value, and forward
// from there with the true value, so that a band starts exactly where the
// whole image would be at its first row. Throws std::bad_alloc when the row
// buffers cannot be had.
bool carriedInto(const RowEngine& engine, int row, bool initial, int threads = 1, WorkerPool* pool = nullptr);

// Rows `first` .. `first + count - 1` of the engine's plot, computed on
// `threads` threads (<= 0: one per core; the calling thread is one of them)
// and handed to `deliver` on the calling thread, settled, strictly in
// order. At most a few rows per thread are held at once, so the memory
// depends on the width and the threads, never on the height. `deliver`
// returns false to stop (the rows after it are dropped). `carriedIn` is the
// lastPointInside before row `first` (carriedInto). The helpers are
// borrowed from `pool` when it is free. Returns false when stopped; throws
// std::bad_alloc when a row's buffers cannot be had.
bool streamRows(const RowEngine& engine, int first, int count, bool carriedIn, int threads,
                const std::function<bool(const RowResult&)>& deliver, WorkerPool* pool = nullptr);

}  // namespace fernwise
