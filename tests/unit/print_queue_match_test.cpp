// Which print queues print to a printer: the forms a device URI names a printer in.

#include <gtest/gtest.h>

#include "platform/print_queue_hold.h"

namespace kiln::platform {
namespace {

bool Prints(const char* deviceUri, const QueuePrinter& printer, const char* makeAndModel = "") {
  return QueuePrintsTo(PrintQueue{"Q", deviceUri, makeAndModel, false, {}}, printer);
}

TEST(PrintQueueMatch, SerialAndNodeMatchWholeValuesOnly) {
  const QueuePrinter printer{"KLN 0001", "/dev/usb/lp1", "Orvix T08"};
  EXPECT_TRUE(Prints("usb://Orvix/T08?serial=KLN%200001", printer));
  EXPECT_TRUE(Prints("usb://Orvix/T08?interface=0&serial=KLN 0001", printer));
  EXPECT_TRUE(Prints("usb://Orvix/T08?serial=KLN%20000%31", printer)) << "an escape at the end";
  EXPECT_FALSE(Prints("usb://Orvix/T08?serial=KLN 00011", printer));
  EXPECT_FALSE(Prints("usb://Orvix/T08?xserial=KLN 0001", printer));
  EXPECT_TRUE(Prints("usb://Orvix/T08?serial=K%zz1%4z%z4", {"K%zz1%4z%z4", "", ""})) << "no escape";
  EXPECT_TRUE(Prints("usb://Orvix/T08?serial=A%2fB%2F%39%4A", {"A/B/9J", "", ""}))
      << "the last digit and letter of each case";

  EXPECT_TRUE(Prints("file:/dev/usb/lp1", printer));
  EXPECT_TRUE(Prints("usb:///dev/usb/lp1?reset=1", printer));
  EXPECT_FALSE(Prints("file:/dev/usb/lp10", printer));
  EXPECT_FALSE(Prints("usb://dev/usb/lp1", printer)) << "a host, not a path";

  EXPECT_TRUE(Prints("ipp://host/x", printer, "ORVIX t08"));
  EXPECT_FALSE(Prints("ipp://host/x", printer, "Orvix T08 Plus"));
}

TEST(PrintQueueMatch, UnknownFieldsOfThePrinterMatchNothing) {
  const QueuePrinter unknown{"", "", ""};
  EXPECT_FALSE(Prints("usb://Orvix/T08?serial=", unknown));
  EXPECT_FALSE(Prints("file:", unknown));
  EXPECT_FALSE(Prints("", unknown, ""));
}

TEST(PrintQueueHoldResult, ARefusalOutweighsOtherFailures) {
  using enum QueueHoldResult;
  struct Row {
    QueueHoldResult before;
    bool refused;
    QueueHoldResult after;
  };
  for (const Row& row :
       {Row{kHeld, false, kFailed}, Row{kHeld, true, kNotPermitted}, Row{kFailed, false, kFailed},
        Row{kFailed, true, kNotPermitted}, Row{kNotPermitted, false, kNotPermitted},
        Row{kNotPermitted, true, kNotPermitted}}) {
    EXPECT_EQ(WithUnpausedQueue(row.before, row.refused), row.after)
        << static_cast<int>(row.before) << " " << row.refused;
  }
}

}  // namespace
}  // namespace kiln::platform
