#include "closingsignals.h"

namespace ClosingSignals {

void hold() { }

void onArrival(QObject *, std::function<void()>) { }

} // namespace ClosingSignals
