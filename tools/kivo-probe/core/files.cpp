#include "core/files.h"

#include "common/utf8.h"

#include <windows.h>

#include <cerrno>
#include <cstring>

namespace kivo::probe {

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  if (last == '\\' || last == '/') return folder + name;
  return folder + "\\" + name;
}

bool makeFolders(const std::string& path, std::string* error) {
  if (path.empty()) {
    if (error) *error = "empty folder name";
    return false;
  }
  const std::wstring wide = tools::widen(path);
  DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
    if (error) *error = "\"" + path + "\" exists and is not a folder";
    return false;
  }
  // Create the parent first.
  const size_t separator = path.find_last_of("\\/");
  if (separator != std::string::npos && separator > 0 && path[separator - 1] != ':') {
    if (!makeFolders(path.substr(0, separator), error)) return false;
  }
  if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    if (error) {
      *error = "cannot create the folder \"" + path + "\" (error " +
               std::to_string(GetLastError()) + ")";
    }
    return false;
  }
  return true;
}

OutputFile::~OutputFile() {
  if (file_) std::fclose(file_);
}

bool OutputFile::open(const std::string& path, std::string* error) {
  if (file_) close(nullptr);
  path_ = path;
  file_ = _wfopen(tools::widen(path).c_str(), L"wb");
  if (!file_) {
    if (error) *error = "cannot create \"" + path + "\": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool OutputFile::write(const void* data, size_t size, std::string* error) {
  if (!file_) {
    if (error) *error = "no file is open";
    return false;
  }
  if (size && std::fwrite(data, 1, size, file_) != size) {
    if (error) *error = "cannot write \"" + path_ + "\": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool OutputFile::writeAt(uint64_t offset, const void* data, size_t size, std::string* error) {
  if (!file_) {
    if (error) *error = "no file is open";
    return false;
  }
  if (_fseeki64(file_, static_cast<long long>(offset), SEEK_SET) != 0 ||
      !write(data, size, error) || _fseeki64(file_, 0, SEEK_END) != 0) {
    if (error && error->empty()) *error = "cannot seek in \"" + path_ + "\"";
    return false;
  }
  return true;
}

bool OutputFile::close(std::string* error) {
  if (!file_) return true;
  const bool ok = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!ok && error) *error = "cannot finish writing \"" + path_ + "\"";
  return ok;
}

}  // namespace kivo::probe
