#pragma once

// What this process holds from the system: open handles, threads and
// private (committed, unshared) memory. kivo-bench and kivo-soak read it
// before and after many graph life cycles to see whether anything grows.
// Link with psapi (GetProcessMemoryInfo).
//
// Wine 8 answers GetProcessHandleCount with 0 and leaves
// PROCESS_MEMORY_COUNTERS_EX::PrivateUsage at 0. A process always holds
// handles and private memory, so a 0 means "not told": the handles are then
// counted by asking GetHandleInformation about every handle value (valid
// ones are multiples of 4; a new handle takes the lowest free value, so the
// walk ends after 4096 invalid values in a row), and the private
// memory is the sum of the committed private regions that VirtualQuery
// walks. The `*Source` fields say which way each figure was read.
//
// Besides, `heapBytes` sums the blocks in use in every heap of the process
// (HeapWalk): finer than the committed memory, it shows a leak of a few
// bytes per cycle, and it reads the same on Windows and under Wine.

#include <windows.h>
// windows.h first: the two headers below depend on its types.
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>

namespace kivo::tools {

struct ProcessUsage {
  long handles = -1;
  long threads = -1;
  long long privateBytes = -1;
  long long heapBytes = -1;
  const char* handlesSource = "GetProcessHandleCount";
  const char* privateSource = "PrivateUsage";

  // The figures of the calling process now; a figure that cannot be read
  // stays -1.
  static ProcessUsage now() {
    ProcessUsage usage;
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles))
      usage.handles = static_cast<long>(handles);
    if (usage.handles == 0) {
      usage.handles = probeHandles();
      usage.handlesSource = "GetHandleInformation";
    }
    usage.threads = countThreads();
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof(memory)))
      usage.privateBytes = static_cast<long long>(memory.PrivateUsage);
    if (usage.privateBytes <= 0) {
      usage.privateBytes = committedPrivateBytes();
      usage.privateSource = "VirtualQuery";
    }
    usage.heapBytes = heapBytesInUse();
    return usage;
  }

  // The bytes of the busy blocks of every heap of the process.
  static long long heapBytesInUse() {
    HANDLE heaps[256];
    const DWORD count = GetProcessHeaps(256, heaps);
    if (count == 0 || count > 256) return -1;
    long long total = 0;
    for (DWORD i = 0; i < count; ++i) {
      if (!HeapLock(heaps[i])) continue;
      PROCESS_HEAP_ENTRY entry;
      entry.lpData = nullptr;
      while (HeapWalk(heaps[i], &entry)) {
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
      }
      HeapUnlock(heaps[i]);
    }
    return total;
  }

  // The valid handle values, up to 4096 invalid ones in a row.
  static long probeHandles() {
    long count = 0;
    long invalidInARow = 0;
    for (ULONG_PTR value = 4; invalidInARow < 4096; value += 4) {
      DWORD flags = 0;
      if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
        ++count;
        invalidInARow = 0;
      } else {
        ++invalidInARow;
      }
    }
    return count;
  }

  // The bytes of every committed MEM_PRIVATE region of the address space.
  static long long committedPrivateBytes() {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const char* address = static_cast<const char*>(system.lpMinimumApplicationAddress);
    const char* end = static_cast<const char*>(system.lpMaximumApplicationAddress);
    long long total = 0;
    MEMORY_BASIC_INFORMATION region;
    while (address < end && VirtualQuery(address, &region, sizeof(region)) == sizeof(region)) {
      if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
        total += static_cast<long long>(region.RegionSize);
      const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
      if (next <= address) break;
      address = next;
    }
    return total;
  }

  // The threads of this process in a Toolhelp snapshot of all threads.
  static long countThreads() {
    const DWORD process = GetCurrentProcessId();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    long count = 0;
    THREADENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
      if (entry.th32OwnerProcessID == process) ++count;
    }
    CloseHandle(snapshot);
    return count;
  }

  // This minus `before`, figure by figure.
  ProcessUsage since(const ProcessUsage& before) const {
    ProcessUsage growth;
    growth.handles = handles - before.handles;
    growth.threads = threads - before.threads;
    growth.privateBytes = privateBytes - before.privateBytes;
    growth.heapBytes = heapBytes - before.heapBytes;
    growth.handlesSource = handlesSource;
    growth.privateSource = privateSource;
    return growth;
  }

  // handles H, threads T, private K KiB, heap B bytes
  void printText(std::FILE* out) const {
    std::fprintf(out, "handles %ld, threads %ld, private %lld KiB, heap %lld bytes", handles,
                 threads, privateBytes / 1024, heapBytes);
  }
};

}  // namespace kivo::tools
