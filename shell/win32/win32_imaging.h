#pragma once

// The Windows Imaging Component, which reads PNG and JPEG files for the
// Win32 backend.

#include <wincodec.h>
#include <wrl/client.h>

#include "win32_backend.h"

using Microsoft::WRL::ComPtr;

// A new imaging factory; empty if COM or the component cannot be started.
// COM is started on the calling thread at first use.
ComPtr<IWICImagingFactory> ImagingFactory();

// Lets go of COM, once every object of the component has been released.
void StopImaging();
