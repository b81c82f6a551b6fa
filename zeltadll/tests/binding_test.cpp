// The binding phase of the search: which driver slots are asked, which record
// takes each slot, and what a slot name that names no device does.
#include "search.h"
#include "world.h"
#include "zelta_driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using zelta::EndSlots;
using zelta::ServeSlot;

std::string Path(const std::string& instance) {
  return world::UsbPath("vid_0abc&pid_1234", instance);
}

class Binding : public world::Fixture {
 protected:
  using Script = hostwin::devices::ScriptedDevice;

  // Records as phase 1 leaves them, one per instance text, in this order.
  static void Records(const std::vector<std::string>& instances) {
    for (const std::string& instance : instances) {
      const std::string path = Path(instance);
      NewDeviceRecord r;
      r.uniqueId = TextView(instance.c_str());
      r.childMatchId = r.uniqueId;
      r.devicePath = TextView(path.c_str());
      ASSERT_TRUE(Devices().Append(r));
    }
  }
  // Each record's binding: "name=value", or "" when unbound.
  static std::vector<std::string> Bindings() {
    std::vector<std::string> out;
    for (const DeviceRecord* r : world::Records()) {
      const std::string name = r->driverSlotName;
      out.push_back(name.empty() && r->driverSlotValue == 0 ? "" : name + "=" + std::to_string(r->driverSlotValue));
    }
    return out;
  }
  // Runs the phase and checks what every run must leave: ZELTA_OK, every
  // scripted request made and nothing else, the link closed.
  static void Bind(const Script& driver) {
    EXPECT_EQ(BindDriverSlots(), ZELTA_OK);
    EXPECT_TRUE(driver.Problems().empty()) << testing::PrintToString(driver.Problems());
    EXPECT_FALSE(IsDriverLinkOpen());
    EXPECT_EQ(driver.Opens(), driver.Closes());
  }
};

TEST_F(Binding, EachSlotGoesToTheFirstRecordWhosePathHoldsItsKey) {
  Records({"0123abc", "5&2a3b&0&1", "x0123abcx", "xyz9"});
  auto driver = zelta::InstallScript();
  ServeSlot(*driver, 0, "USB#Vid_0abc&Pid_1234#5&2a3b&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", 0x22);
  // In the paths of records 0 and 2: the first in table order takes it.
  ServeSlot(*driver, 1, "A#B#0123abc#D", 0x11);
  // Compared case-sensitively: XYZ9 is not xyz9.
  ServeSlot(*driver, 2, "A#B#XYZ9#D", 0x33);
  // In no path at all.
  ServeSlot(*driver, 3, "A#B#nosuch#D", 0x44);
  EndSlots(*driver, 4);
  Bind(*driver);
  EXPECT_EQ(Bindings(), (std::vector<std::string>{
                            "A#B#0123abc#D=17",
                            "USB#Vid_0abc&Pid_1234#5&2a3b&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}=34", "", ""}));
}

TEST_F(Binding, TheLastSlotReadWinsARecord) {
  Records({"0123abc"});
  auto driver = zelta::InstallScript();
  ServeSlot(*driver, 0, "A#B#0123#D", 1);
  ServeSlot(*driver, 1, "A#B#abc#D", 2);
  ServeSlot(*driver, 2, "A#B#other#D", 3);
  EndSlots(*driver, 3);
  Bind(*driver);
  EXPECT_EQ(Bindings(), (std::vector<std::string>{"A#B#abc#D=2"}));
}

TEST_F(Binding, OnlySixteenSlotsAreAsked) {
  std::vector<std::string> instances;
  for (int i = 0; i < 17; ++i) instances.push_back("dev" + std::to_string(100 + i));
  Records(instances);
  auto driver = zelta::InstallScript();
  // The driver would serve 17; a request for slot 16 is one the script does
  // not hold, and Problems() would name it.
  for (BYTE slot = 0; slot < kDriverSlots; ++slot)
    ServeSlot(*driver, slot, "A#B#dev" + std::to_string(100 + slot) + "#D", slot + 1u);
  Bind(*driver);
  const std::vector<std::string> bound = Bindings();
  EXPECT_EQ(bound[15], "A#B#dev115#D=16");
  EXPECT_EQ(bound[16], "");
}

// The first failing name or value request ends the loop: the slots before it
// stay bound, that slot binds nothing, and no later slot is asked.
TEST_F(Binding, TheFirstFailureEndsTheSlotLoop) {
  struct Case {
    const char* what;
    BYTE failingSlot;
    bool valueFails;
  } cases[] = {
      {"no slot at all", 0, false},
      {"the name of slot 5", 5, false},
      {"the value of slot 3", 3, true},
      {"the value of slot 0", 0, true},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "case " << i << ": " << c.what);
    CloseDriverLink();
    hostwin::Reset();
    Devices().Release();
    std::vector<std::string> instances;
    for (int d = 0; d < 8; ++d) instances.push_back("dev" + std::to_string(d));
    Records(instances);
    auto driver = zelta::InstallScript();
    for (BYTE slot = 0; slot < c.failingSlot; ++slot)
      ServeSlot(*driver, slot, "A#B#dev" + std::to_string(slot) + "#D", 0x10u + slot);
    if (c.valueFails) {
      Script::Step& name = driver->Expect(IOCTL_ZELTA_GET_SLOT_NAME, {c.failingSlot}, kSlotNameBytes);
      name.output = zelta::Utf16("A#B#dev" + std::to_string(c.failingSlot) + "#D");
      driver->Expect(IOCTL_ZELTA_GET_SLOT_VALUE, {c.failingSlot}, 4).succeed = false;
    } else {
      EndSlots(*driver, c.failingSlot);
    }
    Bind(*driver);
    const std::vector<std::string> bound = Bindings();
    for (std::size_t d = 0; d < bound.size(); ++d) {
      const std::string expected =
          d < c.failingSlot ? "A#B#dev" + std::to_string(d) + "#D=" + std::to_string(0x10 + d) : "";
      EXPECT_EQ(bound[d], expected) << "record " << d;
    }
  }
}

// A name whose third field is missing or empty names no device. Cut the
// naive way its key would be empty (or the text before a lone '#') and
// found in every path, so the first record would take the slot: it is
// skipped instead, and the slots after it still bind.
TEST_F(Binding, ANameWithoutAKeyBindsNothing) {
  const char* names[] = {"",     "plain", "A#B",   "A#B#C",  "A#B##D", "A#B##", "#",
                         "###", "A#B#",  "dev#x", "#dev#", "dev",    "##dev"};
  for (std::size_t i = 0; i < std::size(names); ++i) {
    SCOPED_TRACE(testing::Message() << "case " << i << ": \"" << names[i] << "\"");
    CloseDriverLink();
    hostwin::Reset();
    Devices().Release();
    Records({"dev", "other"});
    EXPECT_FALSE(BindDriverSlot(names[i], 7));
    EXPECT_EQ(Bindings(), (std::vector<std::string>{"", ""}));

    auto driver = zelta::InstallScript();
    ServeSlot(*driver, 0, names[i], 7);
    ServeSlot(*driver, 1, "A#B#other#D", 8);
    EndSlots(*driver, 2);
    Bind(*driver);
    EXPECT_EQ(Bindings(), (std::vector<std::string>{"", "A#B#other#D=8"}));
  }
  // And the plain cases: the key between the second and third '#'.
  EXPECT_TRUE(BindDriverSlot("A#B#dev#", 9));
  EXPECT_TRUE(BindDriverSlot("#B#dev#D#E", 10));
  EXPECT_EQ(Bindings(), (std::vector<std::string>{"#B#dev#D#E=10", "A#B#other#D=8"}));
  Devices().Release();
  EXPECT_FALSE(BindDriverSlot("A#B#dev#D", 1));  // an empty table binds nothing
}

// The driver fills all 256 bytes with 128 units and no zero unit: the name
// ends at the buffer's end, never in what lies beyond it.
TEST_F(Binding, ANameThatFillsTheWholeBufferIsReadNoFurther) {
  Records({"KEY"});
  std::string name = "A#B#KEY#";
  name.resize(kSlotNameBytes / 2, 'x');
  std::vector<BYTE> units = zelta::Utf16(name);
  units.resize(kSlotNameBytes);  // the zero unit dropped
  auto driver = zelta::InstallScript();
  ServeSlot(*driver, 0, units, 5);
  EndSlots(*driver, 1);
  Bind(*driver);
  EXPECT_EQ(Bindings(), (std::vector<std::string>{name + "=5"}));
}

// The name buffer is cleared before slot 0 only: a driver writes each name
// with its own zero unit, and a short name after a long one reads right.
TEST_F(Binding, AShortNameAfterALongOne) {
  Records({"long", "short9"});
  auto driver = zelta::InstallScript();
  ServeSlot(*driver, 0, "A#B#long#" + std::string(100, 'y'), 1);
  ServeSlot(*driver, 1, "A#B#short9#", 2);
  EndSlots(*driver, 2);
  Bind(*driver);
  EXPECT_EQ(Bindings(), (std::vector<std::string>{"A#B#long#" + std::string(100, 'y') + "=1", "A#B#short9#=2"}));
}

// The whole search: the records of phases 1 and 2 keep their letters and get
// their slots; the link is closed after it.
TEST_F(Binding, TheSearchBindsWhatTheDriverServes) {
  world::AddUsb(Path("0123abc"));
  world::AddUsb(Path("5&2a3b4c5d&0&1"), "6&1f2e&0");
  world::AddDisk(world::DiskPath("0123abc&0"), "7&aa&0", 'E');
  world::AddDisk(world::DiskPath("6&1f2e&0&0"), "7&cc&0", 'F');
  auto driver = zelta::InstallScript();
  ServeSlot(*driver, 0, "USB#Vid_0abc&Pid_1234#5&2a3b4c5d&0&1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", 0x22);
  ServeSlot(*driver, 1, "USB#Vid_0abc&Pid_1234#0123abc#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", 0x11);
  EndSlots(*driver, 2);
  EXPECT_EQ(zeltaSearchUsbDevice(0x0abc, 0x1234), ZELTA_OK);
  EXPECT_TRUE(driver->Problems().empty()) << testing::PrintToString(driver->Problems());
  EXPECT_FALSE(IsDriverLinkOpen());
  const std::vector<const DeviceRecord*> records = world::Records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(world::Letters(*records[0]), "E");
  EXPECT_STREQ(records[0]->driverSlotName, "USB#Vid_0abc&Pid_1234#0123abc#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
  EXPECT_EQ(records[0]->driverSlotValue, 0x11u);
  EXPECT_EQ(world::Letters(*records[1]), "F");
  EXPECT_EQ(records[1]->driverSlotValue, 0x22u);

  // A driver that serves no slot: ZELTA_OK, nothing bound, the link closed.
  driver = zelta::InstallScript();
  EndSlots(*driver, 0);
  EXPECT_EQ(zeltaSearchUsbDevice(0, 0), ZELTA_OK);
  EXPECT_TRUE(driver->Problems().empty());
  EXPECT_EQ(Bindings(), (std::vector<std::string>{"", ""}));
  EXPECT_FALSE(IsDriverLinkOpen());
}

}  // namespace
