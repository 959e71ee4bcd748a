#include "util/WindowsVersion.h"

#include "platform/Platform.h"

WindowsVersion::WindowsVersion() : major_(platform::osMajorVersion()) {}
