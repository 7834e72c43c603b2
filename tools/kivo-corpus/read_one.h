#pragma once

// The child side of kivo-corpus: one file read once, by kivo or by the
// hand-built graph, in a process of its own, with the outcome reported as
// one line on standard output for the parent to classify.

#include <chrono>
#include <string>

namespace kivo::corpus {

enum class Reader { Kivo, HandBuilt };

// Reads `file` with `reader`: video and audio, else video only, else audio
// only, the first that renders run for at most `runBound`. Prints one line:
//   read video=N audio=N bytes=N end=yes|no streams=video+audio|video|audio
//   refused hr=0x........ message="..."[ codec="..."]
// Returns the process's exit status, 0 whenever a line was printed.
int readOne(Reader reader, const std::wstring& file, std::chrono::milliseconds runBound);

}  // namespace kivo::corpus
