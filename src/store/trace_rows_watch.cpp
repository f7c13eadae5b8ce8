#include "store/trace_rows_watch.h"

#include <algorithm>
#include <utility>

namespace norvale {

TTraceRowsWatch::TTraceRowsWatch(TTraceStore& store, std::function<void()> wakeUp, std::function<uint64_t()> look)
    : store_(store),
      look_(look ? std::move(look) : [&store] { return store.AppendedRows(); }),
      reader_(store.AddReader(std::move(wakeUp))) {}

TTraceRowsWatch::~TTraceRowsWatch() { store_.RemoveReader(reader_); }

bool TTraceRowsWatch::Tick() { return store_.AcknowledgeWakeUp(reader_, seen_); }

std::chrono::milliseconds TTraceRowsWatch::NextLook(std::chrono::microseconds lastTake) {
    using std::chrono::milliseconds;
    const auto threeTimes = std::chrono::ceil<milliseconds>(3 * lastTake);
    return std::clamp(threeTimes, milliseconds(1000 / 60), milliseconds(500));
}

}  // namespace norvale
