#include "common/json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kivo::tools {

namespace {

// The length (1 to 4) of the well-formed UTF-8 sequence at `at`, or 0 when
// the bytes there are none: a stray continuation byte, a truncated sequence,
// an overlong form, a surrogate or a code point above U+10FFFF.
size_t utf8SequenceLength(const std::string& text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// One ASCII character as it stands in a JSON string.
std::string escaped(unsigned char c) {
  switch (c) {
    case '"':
      return "\\\"";
    case '\\':
      return "\\\\";
    case '\b':
      return "\\b";
    case '\f':
      return "\\f";
    case '\n':
      return "\\n";
    case '\r':
      return "\\r";
    case '\t':
      return "\\t";
    default:
      break;
  }
  if (c >= 0x20) return std::string(1, static_cast<char>(c));
  char code[8];
  std::snprintf(code, sizeof code, "\\u%04x", c);
  return code;
}

}  // namespace

std::string jsonString(const std::string& text) {
  std::string json = "\"";
  for (size_t at = 0; at < text.size();) {
    const size_t length = utf8SequenceLength(text, at);
    if (length == 0) {
      json += "\\ufffd";
      ++at;
    } else if (length == 1) {
      json += escaped(static_cast<unsigned char>(text[at++]));
    } else {
      json.append(text, at, length);
      at += length;
    }
  }
  return json + "\"";
}

std::string jsonNumber(double number) {
  if (!std::isfinite(number)) return "null";
  char buffer[32];
  // 17 significant digits always read back as the same double; fewer do
  // for most values and read better.
  for (int precision = 15; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, "%.*g", precision, number);
    if (std::strtod(buffer, nullptr) == number) break;
  }
  return buffer;
}

JsonWriter& JsonWriter::beginObject(Layout layout) {
  open('{', layout);
  return *this;
}

JsonWriter& JsonWriter::endObject() {
  close('}');
  return *this;
}

JsonWriter& JsonWriter::beginArray(Layout layout) {
  open('[', layout);
  return *this;
}

JsonWriter& JsonWriter::endArray() {
  close(']');
  return *this;
}

JsonWriter& JsonWriter::key(const std::string& name) {
  beforeValue();
  text_ += jsonString(name) + ": ";
  afterKey_ = true;
  return *this;
}

JsonWriter& JsonWriter::string(const std::string& text) {
  beforeValue();
  text_ += jsonString(text);
  return *this;
}

JsonWriter& JsonWriter::stringOrNull(const std::string& text) {
  return text.empty() ? null() : string(text);
}

JsonWriter& JsonWriter::integer(long long number) {
  beforeValue();
  text_ += std::to_string(number);
  return *this;
}

JsonWriter& JsonWriter::number(double number) {
  beforeValue();
  text_ += jsonNumber(number);
  return *this;
}

JsonWriter& JsonWriter::boolean(bool value) {
  beforeValue();
  text_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::null() {
  beforeValue();
  text_ += "null";
  return *this;
}

// A value after a key stays on the key's line; any other member of an
// indented container starts a line of its own, after a comma when it is
// not the first.
void JsonWriter::beforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  if (open_.empty()) return;
  Container& container = open_.back();
  if (container.hasMembers) text_ += container.oneLine ? ", " : ",";
  container.hasMembers = true;
  if (!container.oneLine) newLine();
}

void JsonWriter::open(char bracket, Layout layout) {
  beforeValue();
  text_ += bracket;
  const bool inOneLine = !open_.empty() && open_.back().oneLine;
  open_.push_back({inOneLine || layout == OneLine, false});
}

// An indented container with members closes on a line of its own; an
// empty one stays "{}" or "[]".
void JsonWriter::close(char bracket) {
  const Container container = open_.back();
  open_.pop_back();
  if (container.hasMembers && !container.oneLine) newLine();
  text_ += bracket;
}

void JsonWriter::newLine() {
  text_ += '\n';
  text_.append(2 * open_.size(), ' ');
}

}  // namespace kivo::tools
