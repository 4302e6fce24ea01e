#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/trace.h"
#include "device/device_library.h"

namespace torvo {
namespace {

// Stand-in entry points for the fake module.
int g_calls = 0;
int FakeOpenMonitor(void*, unsigned event, unsigned connection) {
  ++g_calls;
  return event == MSG_DEVICE_EVENT && connection == MSG_DEVICE_CONNECTION ? 1 : 0;
}
int FakeOpen() {
  return ++g_calls, 1;
}
int FakeSet(unsigned char* report, int length) {
  return ++g_calls, report[0] == 0x10 && length == 8;
}

class FakeLoader : public ModuleLoader {
 public:
  bool loads = true;
  std::map<std::string, void*> symbols;
  std::vector<std::u16string> loaded;
  int frees = 0;

  void* Load(const std::u16string& path) override {
    loaded.push_back(path);
    return loads ? this : nullptr;
  }
  void* Symbol(void*, const char* name) override {
    auto it = symbols.find(name);
    return it == symbols.end() ? nullptr : it->second;
  }
  void Free(void*) override { ++frees; }
};

class DeviceLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls = 0;
    SetTraceSink([this](std::u16string_view t) { traces.emplace_back(t); });
  }
  void TearDown() override { SetTraceSink(nullptr); }
  std::vector<std::u16string> traces;
  FakeLoader loader;
};

TEST_F(DeviceLibraryTest, MissingLibraryMakesEveryCallFail) {
  loader.loads = false;
  BoundDeviceLibrary library(loader);
  EXPECT_EQ(library.Bind(u"C:\\Torvo\\"), 0);
  ASSERT_EQ(loader.loaded.size(), 1u);
  EXPECT_EQ(loader.loaded[0], u"C:\\Torvo\\hiddriver.dll");
  unsigned char report[8] = {0x10, 0x08};
  EXPECT_EQ(library.OpenDevMonitor(1, MSG_DEVICE_EVENT, MSG_DEVICE_CONNECTION), 0);
  EXPECT_EQ(library.OpenFeatureDevice(), 0);
  EXPECT_EQ(library.SetFeature(report, 8), 0);
  EXPECT_EQ(library.GetFeature(report, 3), 0);
  EXPECT_EQ(library.CloseFeatureDevice(), 0);
  EXPECT_EQ(library.CloseDevMonitor(), 0);
  ASSERT_FALSE(traces.empty());
  EXPECT_NE(traces[0].find(u"hiddriver.dll"), std::u16string::npos);
}

TEST_F(DeviceLibraryTest, MissingEntryPointsFailAloneAndAreTraced) {
  loader.symbols["Open_DevMonitor"] = reinterpret_cast<void*>(&FakeOpenMonitor);
  loader.symbols["Open_FeatureDevice"] = reinterpret_cast<void*>(&FakeOpen);
  loader.symbols["SetFeature"] = reinterpret_cast<void*>(&FakeSet);
  BoundDeviceLibrary library(loader);
  EXPECT_EQ(library.Bind(u"D:\\"), 3);
  EXPECT_EQ(traces.size(), 3u);  // Close_DevMonitor, Close_FeatureDevice, GetFeature

  unsigned char report[8] = {0x10, 0x08};
  EXPECT_EQ(library.OpenDevMonitor(7, MSG_DEVICE_EVENT, MSG_DEVICE_CONNECTION), 1);
  EXPECT_EQ(library.OpenFeatureDevice(), 1);
  EXPECT_EQ(library.SetFeature(report, 8), 1);
  EXPECT_EQ(library.SetFeature(nullptr, 8), 0);
  EXPECT_EQ(library.GetFeature(report, 3), 0);
  EXPECT_EQ(library.CloseFeatureDevice(), 0);
  EXPECT_EQ(g_calls, 3);

  library.Unbind();
  EXPECT_EQ(loader.frees, 1);
  EXPECT_EQ(library.OpenFeatureDevice(), 0);
  EXPECT_EQ(g_calls, 3);
}

}  // namespace
}  // namespace torvo
