#include "store/trace_rows_watch.h"

#include <utility>

namespace norvale {

TTraceRowsWatch::TTraceRowsWatch(TTraceStore& store, std::function<uint64_t()> look)
    : store_(store), look_(look ? std::move(look) : [&store] { return store.AppendedRows(); }) {}

bool TTraceRowsWatch::Tick() { return store_.AcknowledgeWakeUp(seen_); }

}  // namespace norvale
