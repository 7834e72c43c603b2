// kivo-probe's command line: commands, options, device and value choice,
// status texts.

#include "core/args.h"
#include "core/hresult_text.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace kivo::probe {
namespace {

using Args = std::vector<std::string>;

Invocation accepted(const Args& args) {
  Invocation invocation;
  std::string error;
  EXPECT_TRUE(parseCommandLine(args, &invocation, &error)) << error;
  return invocation;
}

TEST(CommandLine, ParsesCommandsOptionsAndHelp) {
  Invocation capture = accepted({"capture", "--frames", "5", "--out=C:\\x", "--register-graph",
                                 "--", "--odd name"});
  EXPECT_EQ("capture", capture.command);
  EXPECT_EQ(Args{"--odd name"}, capture.arguments);
  EXPECT_EQ(5, capture.integer("--frames"));
  EXPECT_EQ("C:\\x", capture.text("--out"));
  EXPECT_TRUE(capture.has("--register-graph"));
  EXPECT_DOUBLE_EQ(7.0, capture.number("--missing", 7.0));
  EXPECT_TRUE(accepted({"-h"}).help);
  // --help on a command needs none of its arguments.
  EXPECT_EQ("capture", accepted({"capture", "--help"}).command);
  Invocation helpCommand = accepted({"help", "file"});
  EXPECT_TRUE(helpCommand.help);
  EXPECT_EQ("file", helpCommand.command);
  for (const CommandSpec& command : commandSpecs()) {
    const std::string text = commandHelp(command);
    EXPECT_NE(std::string::npos, generalHelp().find(command.name));
    for (const OptionSpec& option : command.options)
      EXPECT_NE(std::string::npos, text.find(option.name)) << command.name;
  }
}

TEST(CommandLine, RefusesWrongCommandLinesWithAReason) {
  const struct {
    Args args;
    const char* reason;
  } cases[] = {
      {{"capturez"}, "unknown command \"capturez\""},
      {{"devices", "--out", "x"}, "unknown option \"--out\""},
      {{"formats"}, "missing argument"},
      {{"capture", "0", "--frames"}, "needs a value"},
      {{"capture", "0", "--frames", "5x"}, "\"5x\""},
      {{"capture", "0", "--frames", "2", "--seconds", "1"}, "together"},
      {{"capture", "0", "--frames", "2", "--frames", "3"}, "twice"},
      {{"file", "a", "--video", "mjpg"}, "rgb24|yuy2|native|none"},
      {{"file", "a", "--video", "none"}, "without --audio"},
      {{"file", "a", "--audio=yes"}, "takes no value"},
      {{"set", "0", "=5"}, "NAME=VALUE"},
  };
  for (const auto& c : cases) {
    Invocation invocation;
    std::string error;
    EXPECT_FALSE(parseCommandLine(c.args, &invocation, &error)) << c.reason;
    EXPECT_NE(std::string::npos, error.find(c.reason)) << error;
  }
}

TEST(Numbers, StrictParsing) {
  long long integer = 0;
  EXPECT_TRUE(parseInteger("0x10", &integer));
  EXPECT_EQ(16, integer);
  EXPECT_TRUE(parseInteger("-9223372036854775808", &integer));
  for (const char* bad : {"", " 5", "1.5", "0x", "99999999999999999999"})
    EXPECT_FALSE(parseInteger(bad, &integer)) << bad;
  double number = 0;
  EXPECT_TRUE(parseNumber("29.97", &number));
  EXPECT_DOUBLE_EQ(29.97, number);
  for (const char* bad : {"", "1e999", "nan", "1.5s"}) EXPECT_FALSE(parseNumber(bad, &number)) << bad;
}

TEST(Choices, PropertyValuesAndDevicesByNumberOrName) {
  const std::map<std::string, long> modes = {{"auto", 1}, {"manual", 2}};
  long value = 0;
  std::string error;
  EXPECT_TRUE(resolveValue("MANUAL", modes, &value, &error));
  EXPECT_EQ(2, value);
  EXPECT_FALSE(resolveValue("manuel", modes, &value, &error));
  EXPECT_NE(std::string::npos, error.find("auto manual")) << error;
  EXPECT_FALSE(resolveValue("4294967296", {}, &value, &error));
  std::string name, text;
  EXPECT_TRUE(parseAssignment("Hue=a=b", &name, &text, &error));
  EXPECT_EQ("a=b", text);

  const std::vector<std::string> devices = {"KIVO Test Camera", "KIVO Test Camera (VFW)"};
  size_t index = 99;
  EXPECT_TRUE(selectDevice(devices, "1", &index, &error));
  EXPECT_EQ(1u, index);
  EXPECT_TRUE(selectDevice(devices, "kivo test camera", &index, &error));
  EXPECT_EQ(0u, index);
  EXPECT_FALSE(selectDevice(devices, "2", &index, &error));
  EXPECT_NE(std::string::npos, error.find("1  KIVO Test Camera (VFW)")) << error;
  EXPECT_FALSE(selectDevice({}, "0", &index, &error));
  EXPECT_NE(std::string::npos, error.find("no video capture device")) << error;
  // A case-insensitive match must be unique; an exact one always wins.
  EXPECT_EQ(-1, matchName({"Cam", "CAM"}, "cam"));
  EXPECT_EQ(1, matchName({"Cam", "CAM"}, "CAM"));
}

TEST(StatusText, HexadecimalAndPlatformText) {
  EXPECT_EQ("0x80004005", formatHResult(static_cast<long>(0x80004005), ""));
  // Wine has a generic text for DirectShow statuses; the hexadecimal form
  // always comes first.
  EXPECT_EQ(0u, describeHResult(static_cast<long>(0x80040217)).find("0x80040217"));
  // A status the system knows gets the system's words.
  const std::string notFound = hresultText(static_cast<long>(0x80070002));
  EXPECT_FALSE(notFound.empty());
  EXPECT_NE(0u, notFound.find("Error: 0x")) << notFound;
  EXPECT_STREQ("VFW_E_CANNOT_CONNECT", hresultName(static_cast<long>(0x80040217)));
  EXPECT_EQ(nullptr, hresultName(0x12345));
}

}  // namespace
}  // namespace kivo::probe
