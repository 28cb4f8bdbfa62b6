#pragma once

// Called when the BIOS key cannot be opened (the watchdog logs it, the tray
// does not).
typedef void (*platform_open_failure_fn)();

// True unless the firmware manufacturer begins with exactly "Xen".
bool manufacturer_is_kvm(const char* manufacturer);

// True when the BIOS manufacturer can be read and does not begin with "Xen".
bool is_kvm_platform(platform_open_failure_fn on_open_failure);
