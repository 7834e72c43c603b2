// kivo-probe's command line: commands, options, device and value choice,
// status texts.

#include "core/args.h"
#include "core/hresult_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kivo::probe {
namespace {

using Args = std::vector<std::string>;

std::string refusal(const Args& args) {
  Invocation invocation;
  std::string error;
  EXPECT_FALSE(parseCommandLine(args, &invocation, &error)) << "accepted: " << args.size();
  return error;
}

Invocation accepted(const Args& args) {
  Invocation invocation;
  std::string error;
  EXPECT_TRUE(parseCommandLine(args, &invocation, &error)) << error;
  return invocation;
}

TEST(CommandLine, ParsesCommandsArgumentsAndOptions) {
  Invocation capture = accepted({"capture", "KIVO Test Camera", "--frames", "5", "--out=C:\\x",
                                 "--register-graph", "--format", "YUY2_640x480"});
  EXPECT_EQ("capture", capture.command);
  EXPECT_EQ(Args{"KIVO Test Camera"}, capture.arguments);
  EXPECT_EQ(5, capture.integer("--frames"));
  EXPECT_EQ("C:\\x", capture.text("--out"));
  EXPECT_TRUE(capture.has("--register-graph"));
  EXPECT_EQ("YUY2_640x480", capture.text("--format"));
  EXPECT_FALSE(capture.help);

  Invocation file = accepted({"file", "a.avi", "--video", "native", "--audio", "--seek", "1.5"});
  EXPECT_EQ("native", file.text("--video"));
  EXPECT_DOUBLE_EQ(1.5, file.number("--seek"));
  EXPECT_DOUBLE_EQ(7.0, file.number("--missing", 7.0));

  // Options before the argument, and "--" ending the options.
  Invocation dashed = accepted({"file", "--frames", "3", "--", "--odd-name.avi"});
  EXPECT_EQ(Args{"--odd-name.avi"}, dashed.arguments);

  Invocation set = accepted({"set", "0", "ExposureMode=manual", "Exposure=-5"});
  EXPECT_EQ((Args{"0", "ExposureMode=manual", "Exposure=-5"}), set.arguments);
}

TEST(CommandLine, HelpInEveryForm) {
  Invocation bare = accepted({});
  EXPECT_TRUE(bare.command.empty());
  EXPECT_FALSE(bare.help);
  EXPECT_TRUE(accepted({"--help"}).help);
  EXPECT_TRUE(accepted({"-h"}).command.empty());

  // --help on a command needs none of its arguments.
  Invocation onCommand = accepted({"capture", "--help"});
  EXPECT_TRUE(onCommand.help);
  EXPECT_EQ("capture", onCommand.command);
  Invocation helpCommand = accepted({"help", "file"});
  EXPECT_TRUE(helpCommand.help);
  EXPECT_EQ("file", helpCommand.command);
  EXPECT_TRUE(accepted({"help"}).command.empty());

  for (const CommandSpec& command : commandSpecs()) {
    const std::string text = commandHelp(command);
    EXPECT_NE(std::string::npos, text.find(std::string("kivo-probe ") + command.name)) << text;
    EXPECT_NE(std::string::npos, generalHelp().find(command.name));
    for (const OptionSpec& option : command.options) {
      EXPECT_NE(std::string::npos, text.find(option.name)) << command.name;
    }
  }
}

TEST(CommandLine, RefusesWrongCommandLinesWithAReason) {
  EXPECT_NE(std::string::npos, refusal({"capturez"}).find("unknown command \"capturez\""));
  EXPECT_NE(std::string::npos, refusal({"--frames", "3"}).find("unknown option"));
  EXPECT_NE(std::string::npos, refusal({"devices", "--out", "x"}).find("unknown option \"--out\""));
  EXPECT_NE(std::string::npos, refusal({"devices", "extra"}).find("takes no argument"));
  EXPECT_NE(std::string::npos, refusal({"formats"}).find("missing argument"));
  EXPECT_NE(std::string::npos, refusal({"formats", "0", "1"}).find("too many"));
  EXPECT_NE(std::string::npos, refusal({"capture", "0", "--frames"}).find("needs a value"));
  EXPECT_NE(std::string::npos, refusal({"capture", "0", "--frames", "0"}).find("above 0"));
  EXPECT_NE(std::string::npos, refusal({"capture", "0", "--frames", "5x"}).find("\"5x\""));
  EXPECT_NE(std::string::npos, refusal({"capture", "0", "--seconds", "-1"}).find("--seconds"));
  EXPECT_NE(std::string::npos, refusal({"capture", "0", "--rate", "nan"}).find("--rate"));
  EXPECT_NE(std::string::npos,
            refusal({"capture", "0", "--frames", "2", "--seconds", "1"}).find("together"));
  EXPECT_NE(std::string::npos,
            refusal({"capture", "0", "--frames", "2", "--frames", "3"}).find("twice"));
  EXPECT_NE(std::string::npos,
            refusal({"file", "a", "--video", "mjpg"}).find("rgb24|yuy2|native|none"));
  EXPECT_NE(std::string::npos, refusal({"file", "a", "--video", "none"}).find("without --audio"));
  EXPECT_NE(std::string::npos,
            refusal({"file", "a", "--seek", "1", "--seek-frame", "2"}).find("together"));
  EXPECT_NE(std::string::npos, refusal({"file", "a", "--seek-frame", "-1"}).find("--seek-frame"));
  EXPECT_NE(std::string::npos, refusal({"file", "a", "--audio=yes"}).find("takes no value"));
  EXPECT_NE(std::string::npos, refusal({"set", "0"}).find("missing argument"));
  EXPECT_NE(std::string::npos, refusal({"set", "0", "Exposure"}).find("NAME=VALUE"));
  EXPECT_NE(std::string::npos, refusal({"set", "0", "=5"}).find("NAME=VALUE"));
  EXPECT_NE(std::string::npos, refusal({"set", "0", "Exposure="}).find("NAME=VALUE"));
  EXPECT_NE(std::string::npos, refusal({"help", "nothing"}).find("unknown command"));
}

TEST(Numbers, StrictParsing) {
  long long integer = 0;
  EXPECT_TRUE(parseInteger("-5", &integer));
  EXPECT_EQ(-5, integer);
  EXPECT_TRUE(parseInteger("0x10", &integer));
  EXPECT_EQ(16, integer);
  EXPECT_TRUE(parseInteger("-9223372036854775808", &integer));
  for (const char* bad : {"", " 5", "5 ", "1.5", "0x", "--5", "99999999999999999999", "abc"}) {
    EXPECT_FALSE(parseInteger(bad, &integer)) << bad;
  }
  double number = 0;
  EXPECT_TRUE(parseNumber("29.97", &number));
  EXPECT_DOUBLE_EQ(29.97, number);
  for (const char* bad : {"", "1e999", "inf", "nan", "2,5", "1.5s"}) {
    EXPECT_FALSE(parseNumber(bad, &number)) << bad;
  }
}

TEST(PropertyValues, ByNumberOrByName) {
  const std::map<std::string, long> modes = {{"auto", 1}, {"manual", 2}};
  const std::map<std::string, long> standards = {{"ntsc_m", 1}, {"pal_b", 16}};
  long value = 0;
  std::string error;
  EXPECT_TRUE(resolveValue("manual", modes, &value, &error));
  EXPECT_EQ(2, value);
  EXPECT_TRUE(resolveValue("PAL_B", standards, &value, &error));
  EXPECT_EQ(16, value);
  EXPECT_TRUE(resolveValue("-7", modes, &value, &error));
  EXPECT_EQ(-7, value);
  EXPECT_TRUE(resolveValue("0x10", {}, &value, &error));
  EXPECT_EQ(16, value);
  EXPECT_FALSE(resolveValue("manuel", modes, &value, &error));
  EXPECT_NE(std::string::npos, error.find("auto manual")) << error;
  EXPECT_FALSE(resolveValue("bright", {}, &value, &error));
  EXPECT_NE(std::string::npos, error.find("not a number")) << error;
  EXPECT_FALSE(resolveValue("4294967296", {}, &value, &error));

  std::string name, text;
  EXPECT_TRUE(parseAssignment("AnalogVideoFormat=pal_b", &name, &text, &error));
  EXPECT_EQ("AnalogVideoFormat", name);
  EXPECT_EQ("pal_b", text);
  EXPECT_TRUE(parseAssignment("Hue=a=b", &name, &text, &error));
  EXPECT_EQ("a=b", text);
}

TEST(DeviceSelection, ByIndexOrByName) {
  const std::vector<std::string> devices = {"KIVO Test Camera", "KIVO Test Camera (Analog)",
                                            "KIVO Test Camera (VFW)"};
  size_t index = 99;
  std::string error;
  EXPECT_TRUE(selectDevice(devices, "1", &index, &error));
  EXPECT_EQ(1u, index);
  EXPECT_TRUE(selectDevice(devices, "KIVO Test Camera (VFW)", &index, &error));
  EXPECT_EQ(2u, index);
  EXPECT_TRUE(selectDevice(devices, "kivo test camera", &index, &error));
  EXPECT_EQ(0u, index);

  EXPECT_FALSE(selectDevice(devices, "3", &index, &error));
  EXPECT_NE(std::string::npos, error.find("no device 3")) << error;
  EXPECT_NE(std::string::npos, error.find("2  KIVO Test Camera (VFW)")) << error;
  EXPECT_FALSE(selectDevice(devices, "KIVO Test", &index, &error));
  EXPECT_NE(std::string::npos, error.find("named \"KIVO Test\"")) << error;
  EXPECT_FALSE(selectDevice(devices, "", &index, &error));
  EXPECT_FALSE(selectDevice({}, "0", &index, &error));
  EXPECT_NE(std::string::npos, error.find("no video capture device")) << error;

  // A case-insensitive match must be unique; an exact one always wins.
  EXPECT_EQ(-1, matchName({"Cam", "CAM"}, "cam"));
  EXPECT_EQ(1, matchName({"Cam", "CAM"}, "CAM"));
}

TEST(StatusText, HexadecimalAndPlatformText) {
  EXPECT_EQ("0x80040217", hresultHex(static_cast<long>(0x80040217)));
  EXPECT_EQ("0x00000001", hresultHex(1));
  EXPECT_EQ("0x80004005 (Unspecified error)",
            formatHResult(static_cast<long>(0x80004005), "Unspecified error"));
  EXPECT_EQ("0x80004005", formatHResult(static_cast<long>(0x80004005), ""));
  // The platform has some text for a DirectShow status (Wine gives a generic
  // one); the description always starts with the hexadecimal form.
  const std::string described = describeHResult(static_cast<long>(0x80040217));
  EXPECT_EQ(0u, described.find("0x80040217")) << described;
  // A status the system knows gets the system's words rather than a generic
  // text: "The system cannot find the file specified" or the like.
  const std::string notFound = hresultText(static_cast<long>(0x80070002));
  EXPECT_FALSE(notFound.empty());
  EXPECT_NE(0u, notFound.find("Error: 0x")) << notFound;
  EXPECT_EQ(systemText(static_cast<long>(0x80070002)), notFound);
  EXPECT_STREQ("VFW_E_CANNOT_CONNECT", hresultName(static_cast<long>(0x80040217)));
  EXPECT_STREQ("E_POINTER", hresultName(static_cast<long>(0x80004003)));
  EXPECT_EQ(nullptr, hresultName(0x12345));
}

}  // namespace
}  // namespace kivo::probe
