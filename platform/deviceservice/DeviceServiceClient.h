#pragma once

// The client of the device service: CoCreateInstance(CLSID_DeviceManagerService)
// connects to the service on Paths::deviceServiceSocket() and hands out proxies
// of the interfaces in device/api/DesktopApi.h. Each created service object has
// its own connection, used only by the creating thread; every method is one
// blocking request and reply.
namespace DeviceServiceClient {

inline constexpr int kDefaultCallTimeoutMs = 5000;

// The longest a call waits for its reply; applies to objects created afterwards.
void setCallTimeout(int milliseconds);
int callTimeout();

} // namespace DeviceServiceClient
