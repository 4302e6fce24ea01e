// The virtual keyboard's library itself, loaded into the test: it refuses and
// logs the calls a program should not make, and its blocking modes hold a
// call without holding up anything else.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "torvo_fixture.h"

namespace torvo::testing {
namespace {

using FeatureCall = int(__cdecl*)(unsigned char*, int);
using DeviceCall = int(__cdecl*)(void);

class VirtualKeyboardLibraryTest : public TorvoTest {
 protected:
  void SetUp() override {
    TorvoTest::SetUp();
    library_ = LoadLibraryW((folder.Path() + L"hiddriver.dll").c_str());
    ASSERT_NE(library_, nullptr);
    open_ = Entry<DeviceCall>("Open_FeatureDevice");
    close_ = Entry<DeviceCall>("Close_FeatureDevice");
    set_ = Entry<FeatureCall>("SetFeature");
    get_ = Entry<FeatureCall>("GetFeature");
    ASSERT_TRUE(open_ && close_ && set_ && get_);
  }

  template <typename Function>
  Function Entry(const char* name) const {
    // Through void*: FARPROC and the entry point's own type differ.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library_, name)));
  }

  void TearDown() override {
    // The library keeps its control block for the life of the process; leave
    // the device closed for the next test.
    if (close_ != nullptr) close_();
    TorvoTest::TearDown();
  }

  int SetHostState(std::uint8_t active) {
    unsigned char report[8] = {0x10, 0x08, active, 0, 0, 0, 0, 0};
    return set_(report, 8);
  }
  int Poll() {
    unsigned char report[3] = {0x04, 0, 0};
    return get_(report, 3) != 0 ? report[1] : -1;
  }

  struct Call {
    VirtualKeyboardLibraryTest* test;
    std::atomic<int> result{-1};
  };
  static DWORD WINAPI SetHostStateThread(void* parameter) {
    auto* call = static_cast<Call*>(parameter);
    call->result = call->test->SetHostState(1);
    return 0;
  }

  HMODULE library_ = nullptr;
  DeviceCall open_ = nullptr;
  DeviceCall close_ = nullptr;
  FeatureCall set_ = nullptr;
  FeatureCall get_ = nullptr;
};

TEST_F(VirtualKeyboardLibraryTest, CallsTheProgramShouldNotMakeAreRefusedAndLogged) {
  ExpectProtocolErrors(vkb::Verdict::kNotOpen, 0x10);
  ExpectProtocolErrors(vkb::Verdict::kBadMacroNumber, 0x09);

  EXPECT_EQ(SetHostState(1), 0);  // before Open_FeatureDevice
  ASSERT_EQ(open_(), 1);
  EXPECT_EQ(SetHostState(1), 1);
  EXPECT_EQ(Poll(), 1);
  // A macro for a slot whose keys the keyboard has not been told about is
  // well formed and stored; one whose number lies outside its slot is not.
  unsigned char macro[130] = {0x09, 0x82, 0x00, 0x01, 0x01};
  EXPECT_EQ(set_(macro, 130), 1);
  EXPECT_EQ(Poll(), 1);
  EXPECT_EQ(keyboard.Model().macros[0].present, 1);
  macro[3] = 21;
  EXPECT_EQ(set_(macro, 130), 0);
  close_();
  EXPECT_EQ(SetHostState(0), 0);  // after Close_FeatureDevice

  const auto errors = keyboard.ProtocolErrors();
  ASSERT_EQ(errors.size(), 3u) << keyboard.DescribeProtocolErrors();
  EXPECT_STREQ(errors[0].text, "set 0x10: feature device not open");
  EXPECT_EQ(errors[1].verdict, static_cast<std::uint32_t>(vkb::Verdict::kBadMacroNumber));
  EXPECT_STREQ(errors[2].text, "set 0x10: feature device not open");
  EXPECT_EQ(keyboard.Model().hostStateReports, 1u);
}

TEST_F(VirtualKeyboardLibraryTest, BlockedSetFeatureLeavesTheOtherCallsWorking) {
  ASSERT_EQ(open_(), 1);
  // Blocks until the mode changes.
  ASSERT_TRUE(keyboard.SetStatusBehaviour(vkb::StatusMode::kSetBlocks, 0));
  Call call{this};
  HANDLE thread = CreateThread(nullptr, 0, &SetHostStateThread, &call, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return keyboard.BlockedCalls() == 1; }, 5000));

  // The controller and the library's other calls go on meanwhile.
  EXPECT_EQ(Poll(), 1);
  EXPECT_NE(keyboard.Dump().find("status: SetFeature blocks until the mode changes"),
            std::string::npos);
  PumpFor(100);
  EXPECT_EQ(call.result.load(), -1) << "the call came back while its mode still blocks";
  EXPECT_EQ(keyboard.Model().hostStateReports, 0u);

  // Switching the mode back ends the block; the report then goes through.
  ASSERT_TRUE(keyboard.SetStatusBehaviour(vkb::StatusMode::kReady));
  ASSERT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
  CloseHandle(thread);
  EXPECT_EQ(call.result.load(), 1);
  EXPECT_EQ(keyboard.BlockedCalls(), 0u);
  EXPECT_EQ(keyboard.Model().hostStateReports, 1u);
  EXPECT_EQ(keyboard.Counters().callsBlocked, 1u);
}

TEST_F(VirtualKeyboardLibraryTest, GetFeatureBlocksForTheGivenTime) {
  ASSERT_EQ(open_(), 1);
  ASSERT_TRUE(keyboard.SetStatusBehaviour(vkb::StatusMode::kGetBlocks, 300));
  EXPECT_EQ(SetHostState(1), 1);  // SetFeature does not block in this mode
  const ULONGLONG before = GetTickCount64();
  EXPECT_EQ(Poll(), 1);
  EXPECT_GE(GetTickCount64() - before, 280u);
  EXPECT_EQ(keyboard.BlockedCalls(), 0u);
  EXPECT_EQ(keyboard.Counters().callsBlocked, 1u);
}

}  // namespace
}  // namespace torvo::testing
