// The dialog framework: the creation handler runs on a modal dialog and can
// make its creation fail; destruction still runs; the message map and the
// command dispatch reach their handlers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/win32/dialog_framework_win32.h"

namespace torvo::win32 {
namespace {

constexpr UINT kTestTemplate = 200;
constexpr UINT kPrivateMessage = WM_USER + 77;

class RecordingDialog : public CDialogWindow {
 public:
  explicit RecordingDialog(int createResult)
      : CDialogWindow(GetModuleHandleW(nullptr), kTestTemplate), createResult_(createResult) {}

  std::vector<std::string> events;

 protected:
  int OnCreate(CREATESTRUCTW* cs) override {
    if (CDialogWindow::OnCreate(cs) == -1) return -1;
    events.push_back("create");
    if (createResult_ == 0) {
      PostMessageW(GetSafeHwnd(), kPrivateMessage, 5, 6);
    }
    return createResult_;
  }
  void OnDestroy() override {
    CDialogWindow::OnDestroy();
    events.push_back("destroy");
  }
  BOOL OnInitDialog() override {
    events.push_back("init");
    return TRUE;
  }
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
    static const MessageMapEntry<RecordingDialog> map[] = {
        {kPrivateMessage, 0, 0, &RecordingDialog::OnPrivate},
        {WM_COMMAND, 2001, 2010, &RecordingDialog::OnRange},
    };
    return DispatchMessageMap(*this, map, message, wParam, lParam, result);
  }

 private:
  LRESULT OnPrivate(WPARAM wParam, LPARAM lParam) {
    events.push_back("private " + std::to_string(wParam) + " " + std::to_string(lParam));
    PostMessageW(GetSafeHwnd(), WM_COMMAND, 2005, 0);
    return 0;
  }
  LRESULT OnRange(WPARAM wParam, LPARAM) {
    events.push_back("command " + std::to_string(LOWORD(wParam)));
    PostMessageW(GetSafeHwnd(), WM_CLOSE, 0, 0);  // ends through IDCANCEL
    return 0;
  }
  int createResult_;
};

TEST(DialogFrameworkTest, CreationHandlerRunsAndTheMapDispatchesUntilClose) {
  RecordingDialog dialog(0);
  const INT_PTR result = dialog.DoModal();
  EXPECT_EQ(result, IDCANCEL);
  const std::vector<std::string> expected = {"create", "init", "private 5 6", "command 2005",
                                             "destroy"};
  EXPECT_EQ(dialog.events, expected);
  EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
}

TEST(DialogFrameworkTest, FailedCreationStillRunsTheDestructionHandler) {
  RecordingDialog dialog(-1);
  EXPECT_EQ(dialog.DoModal(), -1);
  const std::vector<std::string> expected = {"create", "destroy"};
  EXPECT_EQ(dialog.events, expected);
}

}  // namespace
}  // namespace torvo::win32
