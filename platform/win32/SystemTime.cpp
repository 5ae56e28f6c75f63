#include "platform/SystemTime.h"

#include <windows.h>

namespace platform {

UtcTime currentUtcTime() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    return UtcTime{now.wYear, now.wMonth,  now.wDayOfWeek, now.wDay,
                   now.wHour, now.wMinute, now.wSecond,    now.wMilliseconds};
}

}  // namespace platform
