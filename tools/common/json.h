#pragma once

// The JSON documents of the tools (kivo-probe --json, kivo-bench). A document is built
// whole in a string and printed only once it is complete, so that a script
// reading the output never gets half of one when a command fails midway.

#include <string>
#include <vector>

namespace kivo::tools {

// Writes one JSON document, indented by two spaces per level. Commas, and
// the colon after a key, are placed by the writer; the caller opens and
// closes the containers in order and gives each object member a key first.
class JsonWriter {
 public:
  // A container of a few short members (a frame rate, a named value) reads
  // better on one line; whatever it contains stays on that line.
  enum Layout { Indented, OneLine };

  JsonWriter& beginObject(Layout layout = Indented);
  JsonWriter& endObject();
  JsonWriter& beginArray(Layout layout = Indented);
  JsonWriter& endArray();
  // The key of the next member of the enclosing object.
  JsonWriter& key(const std::string& name);

  JsonWriter& string(const std::string& text);
  // The text, or null when it is empty (a path the device does not have, a
  // value no name carries).
  JsonWriter& stringOrNull(const std::string& text);
  JsonWriter& integer(long long number);
  // NaN and the infinities have no JSON form: they are written as null.
  JsonWriter& number(double number);
  JsonWriter& boolean(bool value);
  JsonWriter& null();

  // The document so far; complete once every container is closed.
  const std::string& text() const { return text_; }

 private:
  void beforeValue();
  void open(char bracket, Layout layout);
  void close(char bracket);
  void newLine();

  struct Container {
    bool oneLine;
    bool hasMembers;
  };
  std::string text_;
  std::vector<Container> open_;
  bool afterKey_ = false;
};

// `text` as a JSON string, quotes included: quotes, backslashes and control
// characters escaped, valid UTF-8 passed through, and each byte that is not
// part of valid UTF-8 replaced by U+FFFD, which keeps the document readable
// by strict parsers.
std::string jsonString(const std::string& text);

// The shortest text that reads back as the same double ("30", "29.97"),
// "null" for NaN and the infinities.
std::string jsonNumber(double number);

}  // namespace kivo::tools
