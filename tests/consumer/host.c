/* A C host of an installed kivo: the library's version and the capture
   devices through the C interface. Exit 0 when every call succeeded. */
#include <kivo/kivo_c.h>

#include <windows.h>
#include <objbase.h>
#include <stdio.h>

static int listDevices(void) {
  kivo_device_list* list = NULL;
  kivo_device_info info;
  size_t count = 0, i;
  int failed;
  if (kivo_device_list_create(&list) != KIVO_OK) return 1;
  failed = kivo_device_list_count(list, &count) != KIVO_OK;
  for (i = 0; !failed && i < count; ++i) {
    failed = kivo_device_list_get(list, i, &info) != KIVO_OK;
    if (!failed) printf("device: %s\n", info.name);
  }
  return kivo_device_list_destroy(list) != KIVO_OK || failed;
}

int main(void) {
  int status;
  if (FAILED(CoInitializeEx(NULL, COINIT_MULTITHREADED))) return 1;
  printf("kivo %s\n", kivo_version());
  status = listDevices();
  CoUninitialize();
  return status;
}
