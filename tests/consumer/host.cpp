// A C++ host of an installed kivo: lists the capture devices and prints the
// DirectX version. Exit 0 when both worked.
#include <kivo/kivo.h>

#include <cstdio>

int main() {
  if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
  int status = 0;
  {
    kivo::FilterEnums devices;
    for (const kivo::Filter* device : devices.getVideoDevices()) {
      std::printf("device: %s\n", device->getName());
    }
    char text[32] = {};
    DWORD packed = 0;
    if (kivo::util::GetDXVersion(&packed, text, sizeof(text), false) == S_OK) {
      std::printf("DirectX %s\n", text);
    } else {
      status = 1;
    }
  }
  CoUninitialize();
  return status;
}
