#pragma once

// The client of the device service: CoCreateInstance(CLSID_DeviceManagerService)
// connects to the service on Paths::deviceServiceSocket() and hands out proxies
// of the interfaces in platform/com/DesktopApi.h. Each created service object has
// its own connection, used only by the creating thread; every method is one
// blocking request and reply.
#include <QString>

namespace DeviceServiceClient {

inline constexpr int kDefaultCallTimeoutMs = 5000;

// The longest a call waits for its reply; applies to objects created afterwards.
void setCallTimeout(int milliseconds);
int callTimeout();

// True when a service on the socket answers a request within waitMs, trying
// again while it is not there yet. Runs events meanwhile (user input excepted),
// so the user-interface thread may ask.
bool serviceAnswers(const QString& socketPath, int waitMs);

} // namespace DeviceServiceClient
