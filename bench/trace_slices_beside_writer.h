#pragma once

namespace norvale::bench {

// The window's re-filter slices on the main thread, by an ordinary pattern and
// by pathological ones, for a bounded time each, while a writer appends
// entries at a client's pace; prints the slices' and the writer's figures.
void PrintSlicesBesideAWriter();

}  // namespace norvale::bench
