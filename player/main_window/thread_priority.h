// A higher scheduling priority for the threads whose lateness shows: the
// display tick, whose colour stutters when a busy machine runs it late.
#pragma once

namespace chromola {

// On the thread itself: a lower nice value, where the user's limits allow
// it, else through RealtimeKit on the system bus, as sound servers ask.
// Silent and harmless where neither is allowed (no system bus, no
// RealtimeKit, a refusal); the bus's answer is awaited half a second at most.
void RaiseThisThreadPriority();

}  // namespace chromola
