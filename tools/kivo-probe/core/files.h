#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace kivo::probe {

// Joins a folder and a file name with a backslash unless the folder already
// ends with a separator.
std::string joinPath(const std::string& folder, const std::string& name);

// Creates a folder and its missing parents; true when it exists afterwards.
bool makeFolders(const std::string& path, std::string* error);

// A binary output file named in UTF-8. Every failure says what failed.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool open(const std::string& path, std::string* error);
  bool write(const void* data, size_t size, std::string* error);
  // Writes at an absolute offset, then returns to the end of the file.
  bool writeAt(uint64_t offset, const void* data, size_t size, std::string* error);
  bool close(std::string* error);
  bool isOpen() const { return file_ != nullptr; }

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
};

}  // namespace kivo::probe
