// settings_test.cpp - the port and baud tables and the keys of ksconfig.txt.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "harness.h"
#include "link.h"
#include "serial.h"
#include "settings.h"

namespace {

// Reads a configuration text; returns what it printed.
std::string configure(const std::string& text) {
  reset_link();
  std::string copy = text;
  std::FILE* file = fmemopen(copy.data(), copy.size(), "r");
  CaptureStdout out;
  read_config(file);
  std::fclose(file);
  return out.text();
}

TEST(PortNames, Com1ToCom13InAnyCaseElseNoneWithAMessage) {
  CaptureStdout out;
  EXPECT_EQ(port_index("COM1"), 0);
  EXPECT_EQ(port_index("com4"), 3);
  EXPECT_EQ(port_index("CoM13"), 12);
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(port_index("COM14"), -1);
  EXPECT_EQ(port_index("COM0"), -1);
  EXPECT_EQ(port_index("COM1x"), -1);
  EXPECT_EQ(out.text(),
            "Unrecognized com channel: COM14\nUnrecognized com channel: COM0\nUnrecognized com channel: COM1x\n");
}

TEST(BaudRates, TextToCodeToNumber) {
  CaptureStdout out;
  const char* texts[] = {"2400", "4800", "9600", "19200", "38400", "57200", "115200"};
  for (int k = 0; k < 7; ++k) {
    EXPECT_EQ(baud_code_for(texts[k]), k + 3);
    EXPECT_EQ(std::to_string(baud_number(k + 3)), texts[k]) << "messages show the text that was typed";
  }
  EXPECT_EQ(out.text(), "");
  EXPECT_EQ(baud_code_for("57600"), -1) << "the true rate is not in the table";
  EXPECT_EQ(baud_code_for(" 9600"), -1) << "compared exactly";
  EXPECT_EQ(out.text(), "Unrecognized baud rate\nUnrecognized baud rate\n");
  EXPECT_EQ(baud_number(0), 110);
  EXPECT_EQ(baud_number(1), 300);
  EXPECT_EQ(baud_number(2), 1200);
  EXPECT_EQ(baud_number(10), 96);
  EXPECT_EQ(baud_number(-1), 96);
}

TEST(ConfigFile, KeysInAnyCaseOtherWordsSkipped) {
  EXPECT_EQ(configure("colour red COMCHANNEL com3\nBaudRate 38400 promptchar \n  >x\n"), "");
  EXPECT_EQ(settings.port, 2);
  EXPECT_EQ(settings.baud_code, 7);
  EXPECT_EQ(settings.prompt, '>') << "the next non-blank character, even on the next line";
  EXPECT_EQ(settings.reply_limit_s, 1000.0);

  EXPECT_EQ(configure("comchannel COM13\nbaudrate 57200\n"), "");
  EXPECT_EQ(settings.port, 12);
  EXPECT_EQ(settings.baud_code, 8);
}

TEST(ConfigFile, UnknownValuesAreReportedAndMarkedUnknown) {
  EXPECT_EQ(configure("comchannel COM5 comchannel COM14\n"), "Unrecognized com channel: COM14\n");
  EXPECT_EQ(settings.port, 4);
  EXPECT_TRUE(settings.port_unknown) << "downloads are refused rather than sent to COM1";
  EXPECT_EQ(configure("baudrate 57600\n"), "Unrecognized baud rate\n");
  EXPECT_EQ(settings.baud_code, 9);
  EXPECT_TRUE(settings.rate_unknown);
  EXPECT_EQ(configure("comchannel COM2 baudrate"), "") << "a key without its value changes nothing";
  EXPECT_EQ(settings.baud_code, 9);
  EXPECT_EQ(configure("promptchar"), "");
  EXPECT_EQ(settings.prompt, '-');
}

TEST(ConfigFile, DeviceMapping) {
  EXPECT_EQ(configure("comdevice com3 /dev/ttyUSB0\ncomdevice COM14 /dev/ttyUSB1\n"),
            "Unrecognized com channel: COM14\n");
  EXPECT_STREQ(serial_device(2), "/dev/ttyUSB0");
  EXPECT_STREQ(serial_device(0), "/dev/ttyS0");
  EXPECT_STREQ(serial_device(12), "/dev/ttyS12");
  EXPECT_EQ(settings.port, 0) << "an unknown name in a mapping does not choose a port";

  std::string long_path = "/dev/" + std::string(1100, 'x');
  EXPECT_EQ(configure("comdevice COM2 " + long_path + " comchannel COM2"), "Device name for COM2 is too long\n");
  EXPECT_STREQ(serial_device(1), "/dev/ttyS1") << "a cut path would open another device";
  EXPECT_EQ(settings.no_device, 2u) << "and COM2 is not opened on its default device";
  EXPECT_EQ(settings.port, 1) << "reading goes on after the long word";

  // A missing path, a key where the port name should be: each key is still read as a key.
  EXPECT_EQ(configure("comdevice /dev/pts/0 baudrate 9600\ncomdevice COM3\ncomchannel COM3"),
            "Unrecognized com channel: /dev/pts/0\nDevice name for COM3 is missing\n");
  EXPECT_EQ(settings.baud_code, 5);
  EXPECT_EQ(settings.port, 2);
  EXPECT_EQ(settings.no_device, 4u);
  EXPECT_TRUE(settings.port_unknown);
}

TEST(ConfigFile, TravelLimits) {
  EXPECT_EQ(configure("travel x -0.5 12 TRAVEL Z -3 0.25\n"), "");
  EXPECT_TRUE(settings.travel[0].set);
  EXPECT_EQ(settings.travel[0].min, -0.5);
  EXPECT_EQ(settings.travel[0].max, 12.0);
  EXPECT_FALSE(settings.travel[1].set);
  EXPECT_EQ(settings.travel[2].max, 0.25);
  EXPECT_FALSE(settings.travel_unreadable);
  for (const char* bad : {"travel a 0 1", "travel x 1 0", "travel x 0 nan", "travel x 0 12in", "travel y 0",
                          "travel x 0 baudrate 9600"}) {
    EXPECT_EQ(configure(bad), "A travel line needs an axis (x, y or z), then its lowest and its highest place\n")
        << bad;
    EXPECT_TRUE(settings.travel_unreadable) << bad;
  }
  EXPECT_EQ(settings.baud_code, 5) << "a key where a number should be is read as a key";
}

TEST(ConfigFile, ReplyTimeout) {
  EXPECT_EQ(configure("replytimeout 0.25"), "");
  EXPECT_EQ(settings.reply_limit_s, 0.25);
  EXPECT_EQ(configure("replytimeout 0 replytimeout -3 replytimeout nan replytimeout 2s replytimeout 1e9"),
            "Unrecognized reply timeout: 0\nUnrecognized reply timeout: -3\nUnrecognized reply timeout: nan\n"
            "Unrecognized reply timeout: 2s\nUnrecognized reply timeout: 1e9\n");
  EXPECT_EQ(settings.reply_limit_s, 1000.0);
  reset_link();
}

}  // namespace
