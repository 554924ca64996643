// STUB
#include "platform/Clock.h"
LocalDateTime LocalNow() { return {}; }
void SetLocalNowOverride(std::function<LocalDateTime()>) {}
int64_t MonotonicMs() { return 0; }
