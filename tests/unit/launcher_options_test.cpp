#include "sim/launcher_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/firmware_package.h"
#include "sim/printer_description.h"
#include "sim/transcript_json.h"

namespace kiln::sim {
namespace {

VirtualPrinterConfig Parsed(const std::string& description) {
  VirtualPrinterConfig config;
  std::string error;
  EXPECT_TRUE(ParsePrinterDescription(description, config, error)) << description << ": " << error;
  return config;
}

std::string Rejection(const std::string& description) {
  VirtualPrinterConfig config;
  std::string error;
  EXPECT_FALSE(ParsePrinterDescription(description, config, error)) << description;
  return error;
}

TEST(PrinterDescription, ModelByShortNameOrSerialNumberWithFields) {
  EXPECT_EQ(Parsed("m07").model, 7u);
  EXPECT_EQ(Parsed("OEE").model, 19u);
  EXPECT_EQ(Parsed("Orvix M22").model, 22u);
  EXPECT_EQ(Parsed("38").model, 38u);

  const VirtualPrinterConfig config =
      Parsed("M25,version=2.07,colour=Natural,serial=ABC,gap=50,block=on");
  EXPECT_EQ(config.model, 25u);
  EXPECT_EQ(config.version, "2.07");
  EXPECT_EQ(config.colourMode, "Natural");
  EXPECT_EQ(config.serialNumber, "ABC");
  EXPECT_EQ(config.restartGapMs, 50u);
  EXPECT_TRUE(config::VerifyBlockChecksum(config.deviceBlock.data(), config.deviceBlock.size(),
                                          config::kDeviceBlockMarker));

  const VirtualPrinterConfig bad = Parsed("M07,block=bad");
  EXPECT_FALSE(config::VerifyBlockChecksum(bad.deviceBlock.data(), bad.deviceBlock.size(),
                                           config::kDeviceBlockMarker));
  EXPECT_GT(Parsed("M07,block=long").deviceBlock.size(), kMaxDeviceBlockLength);
  EXPECT_TRUE(Parsed("M07,block=on,block=off").deviceBlock.empty());
  EXPECT_EQ(Parsed("M07").transport, UsbTransport::kDefault);
  EXPECT_EQ(Parsed("M07,transport=usbfs").transport, UsbTransport::kUsbfs);
  EXPECT_EQ(Parsed("M07,transport=usbfs,transport=usblp").transport, UsbTransport::kUsblp);
}

TEST(PrinterDescription, EveryFault) {
  const VirtualPrinterConfig config = Parsed(
      "M07,fault=silent-from=4,fault=silent=0x8008,fault=bad-first-byte=0x0100,"
      "fault=short-answer,fault=busy=3,fault=alert=0x0407:0x000301FE,"
      "fault=error-after-programming=0x00030302,fault=return-pid=0x0496,fault=never-return,"
      "fault=leave-after=70000,fault=block-after-programming=lost");
  const PrinterFaults& f = config.faults;
  EXPECT_EQ(f.silentFromPacket, 4u);
  EXPECT_TRUE(f.silent.Matches(0x8008));
  EXPECT_FALSE(f.silent.Matches(0x0400));
  EXPECT_TRUE(f.badFirstByte.Matches(0x0100));
  EXPECT_FALSE(f.badFirstByte.Matches(0x0400));
  EXPECT_TRUE(f.shortAnswer.Matches(0x1234));
  EXPECT_EQ(f.busyPolls, 3u);
  ASSERT_TRUE(f.alert);
  EXPECT_EQ(f.alert->code, 0x000301FEu);
  EXPECT_EQ(f.alert->status[2] & 0x02, 0x02);
  ASSERT_TRUE(f.errorAfterProgramming);
  EXPECT_EQ(f.errorAfterProgramming->code, 0x00030302u);
  EXPECT_TRUE(DetailCommandAnnounced(f.errorAfterProgramming->status, 0x0406));
  EXPECT_EQ(f.returnProductId, 0x0496);
  EXPECT_TRUE(f.neverReturn);
  EXPECT_EQ(f.leaveAfterDataBytes, 70000u);
  EXPECT_EQ(f.blockDamage, BlockDamage::kLost);
  EXPECT_EQ(Parsed("M07,fault=block-after-programming=altered").faults.blockDamage,
            BlockDamage::kAltered);
  EXPECT_TRUE(Parsed("M07,fault=busy=forever").faults.busyForever);

  const PrinterFaults usbfs =
      Parsed(
          "M07,fault=stall-out=once,fault=stall-in=always,fault=claimed,"
          "fault=no-printer-interface,fault=no-bulk-endpoints,fault=refused-endpoints,"
          "fault=vanish-on-claim,fault=send-only-setting=second,fault=usblp-bound")
          .faults;
  EXPECT_EQ(usbfs.stallOut, EndpointStall::kOnce);
  EXPECT_EQ(usbfs.stallIn, EndpointStall::kAlways);
  EXPECT_TRUE(usbfs.interfaceClaimed && usbfs.noPrinterInterface && usbfs.noBulkEndpoints &&
              usbfs.endpointsRefused && usbfs.vanishOnClaim &&
              usbfs.sendOnlySetting == SendOnlySetting::kSecond && usbfs.usblpBound);
  EXPECT_FALSE(f.interfaceClaimed || f.vanishOnClaim || f.endpointsRefused ||
               f.sendOnlySetting != SendOnlySetting::kNone);
  EXPECT_TRUE(DetailCommandAnnounced(Parsed("M07,fault=error-after-programming=0x30402:0x0405")
                                         .faults.errorAfterProgramming->status,
                                     0x0405));
}

TEST(PrinterDescription, RejectsWhatItDoesNotUnderstand) {
  EXPECT_NE(Rejection("M99").find("unknown model"), std::string::npos);
  Rejection("0");
  Rejection("39");
  Rejection("start");
  Rejection("M07,version");
  Rejection("M07,speed=fast");
  Rejection("M07,block=maybe");
  Rejection("M07,gap=-5");
  Rejection("M07,fault=explode");
  Rejection("M07,fault=busy=sometimes");
  Rejection("M07,fault=alert=0x0407");
  Rejection("M07,fault=alert=0x0407:0x1000000");
  Rejection("M07,fault=return-pid=0x10000");
  Rejection("M07,fault=silent=0x12345");
  Rejection("M07,fault=never-return=1");
  Rejection("M07,fault=block-after-programming");
  Rejection("M07,fault=block-after-programming=gone");
  Rejection("M07,transport=parallel");
  Rejection("M07,fault=stall-in=twice");
  Rejection("M07,fault=claimed=yes");
}

TEST(LauncherArgs, PrintersTranscriptAndCommand) {
  LauncherOptions options;
  std::string error;
  ASSERT_TRUE(ParseLauncherArgs({"--printer", "M07", "--printer=M25,serial=X", "--transcript",
                                 "out.jsonl", "--", "sh", "-c", "--printer"},
                                options, error))
      << error;
  ASSERT_EQ(options.printers.size(), 2u);
  EXPECT_EQ(options.printers[0].serialNumber, "KLN0000001");
  EXPECT_EQ(options.printers[1].model, 25u);
  EXPECT_EQ(options.printers[1].serialNumber, "X");
  EXPECT_EQ(options.transcriptPath, "out.jsonl");
  EXPECT_EQ(options.command, (std::vector<std::string>{"sh", "-c", "--printer"}));

  ASSERT_TRUE(ParseLauncherArgs({"--", "true"}, options, error));
  ASSERT_EQ(options.printers.size(), 1u);
  EXPECT_EQ(options.printers[0].model, 7u);

  EXPECT_TRUE(ParseLauncherArgs({"--help"}, options, error));
  EXPECT_TRUE(options.help);
  EXPECT_NE(LauncherUsage().find("never-return"), std::string::npos);
  EXPECT_NE(LauncherUsage().find("block-after-programming=lost|altered"), std::string::npos);
}

TEST(LauncherArgs, RejectsMalformedCommandLines) {
  LauncherOptions options;
  std::string error;
  EXPECT_FALSE(ParseLauncherArgs({"--printer", "M07"}, options, error));  // no command
  EXPECT_FALSE(ParseLauncherArgs({"--printer"}, options, error));
  EXPECT_FALSE(ParseLauncherArgs({"--printer", "M99", "--", "true"}, options, error));
  EXPECT_NE(error.find("M99"), std::string::npos);
  EXPECT_FALSE(ParseLauncherArgs({"--verbose", "--", "true"}, options, error));
  EXPECT_FALSE(ParseLauncherArgs({"--transcript"}, options, error));
}

TEST(TranscriptJson, OneObjectPerPacket) {
  PacketRecord status;
  status.command = 0x0400;
  status.flags = 0x50;
  status.paddingBytes = 58;
  status.writes = 1;
  status.answered = true;
  PacketRecord start;
  start.command = 0x8400;
  start.flags = 0x50;
  start.parameters = {2, 7};
  start.payloadLength = 9;
  start.paddingOk = false;
  start.writes = 2;
  EXPECT_EQ(TranscriptJsonLines(3, {status, start}),
            "{\"printer\":3,\"seq\":1,\"command\":\"0x0400\",\"flags\":\"0x50\",\"parameters\":[],"
            "\"payloadLength\":0,\"paddingBytes\":58,\"paddingOk\":true,\"writes\":1,"
            "\"answered\":true}\n"
            "{\"printer\":3,\"seq\":2,\"command\":\"0x8400\",\"flags\":\"0x50\",\"parameters\":"
            "[2,7],\"payloadLength\":9,\"paddingBytes\":0,\"paddingOk\":false,\"writes\":2,"
            "\"answered\":false}\n");
}

}  // namespace
}  // namespace kiln::sim
