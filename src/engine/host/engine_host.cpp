#include "engine/host/engine_host.h"

#include <chrono>

double SystemNowDays()
{
    using namespace std::chrono;
    const double secs = duration<double>(system_clock::now().time_since_epoch()).count();
    return 25569.0 + secs / 86400.0;  // days since 1899-12-30
}
