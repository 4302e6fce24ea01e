#include <gtest/gtest.h>

#include <string>

#include "menu/ex_menu_core.h"
#include "menu/menu_frame.h"
#include "menu/menu_item_list.h"

namespace torvo {
namespace {

// Appends a plain item the way the Win32 menu does: take the id, record it.
std::uint32_t AddPlain(ExMenuCore& menu, std::u16string_view text, int markColorFlag = -1,
                       int trademarkFlag = 0) {
  const std::uint32_t id = menu.NextItemId(std::nullopt);
  menu.RecordItem(text, id, markColorFlag, trademarkFlag);
  return id;
}

TEST(MenuItemListTest, LookupTakesTheFirstMatchAndDefaultsForUnknownIds) {
  CMenuItemList list;
  list.Add(u"first", 7, 1, 1);
  list.Add(u"second", 7, 0, 0);
  list.Add(u"other", 9, 5, 2);
  const MenuItemInfo seven = list.Lookup(7);
  EXPECT_EQ(seven.text, u"first");
  EXPECT_EQ(seven.markColorFlag, 1);
  EXPECT_EQ(seven.trademarkFlag, 1);
  EXPECT_EQ(list.Lookup(9).text, u"other");

  const MenuItemInfo unknown = list.Lookup(8);
  EXPECT_EQ(unknown.text, u"");
  EXPECT_EQ(unknown.markColorFlag, -1);
  EXPECT_EQ(unknown.trademarkFlag, 0);
  EXPECT_EQ(list.Count(), 3u);
  // Entries keep the order in which they were added.
  EXPECT_EQ(list.First()->next->text, u"second");
}

TEST(MenuItemListTest, ALongListIsFreedWithoutExhaustingTheStack) {
  auto list = std::make_unique<CMenuItemList>();
  for (std::uint32_t i = 0; i < 200000; ++i) list->Add(u"x", i, -1, 0);
  EXPECT_EQ(list->Lookup(199999).text, u"x");
  list.reset();
}

TEST(ExMenuCoreTest, EachPlainItemHoldsItsOwnIdStartingAt2001) {
  ExMenuCore menu;
  EXPECT_EQ(AddPlain(menu, u"Hide the dial"), 2001u);
  EXPECT_EQ(AddPlain(menu, u"Second"), 2002u);
  // A second plain item draws its own text, not the first entry's.
  EXPECT_EQ(menu.PlanItem(2002, false, {0, 0, 30, 20}).text, u"Second");
  EXPECT_EQ(menu.PlanItem(2001, false, {0, 0, 30, 20}).text, u"Hide the dial");
}

TEST(ExMenuCoreTest, ASubmenuItemIsRecordedUnderTheIdThePlatformReportsForIt) {
  ExMenuCore menu;
  const std::uintptr_t submenu = 0x1234567890ABCDEFull & UINTPTR_MAX;
  const std::uint32_t id = menu.NextItemId(submenu);
  EXPECT_EQ(id, static_cast<std::uint32_t>(submenu));
  menu.RecordItem(u"More", id, -1, 0);
  EXPECT_EQ(menu.PlanItem(id, false, {}).text, u"More");
  // The plain ids are not used up by the submenu item.
  EXPECT_EQ(menu.NextItemId(std::nullopt), 2001u);
}

TEST(ExMenuCoreTest, WidthGrowsToEightPixelsPerCodeUnitAndNeverShrinks) {
  ExMenuCore menu;
  EXPECT_EQ(menu.itemWidth, 0);
  AddPlain(menu, u"twelve units");
  EXPECT_EQ(menu.itemWidth, 96);
  AddPlain(menu, u"short");
  EXPECT_EQ(menu.itemWidth, 96);
  // Code units, not characters: a surrogate pair counts twice.
  AddPlain(menu, std::u16string(12, u'a') + u"\U0001F600");
  EXPECT_EQ(menu.itemWidth, 112);
  // The caller may set it directly (the dial menu uses 30).
  menu.itemWidth = 30;
  EXPECT_EQ(menu.MeasureItem(2001).width, 30);
}

TEST(ExMenuCoreTest, MeasureBySeparatorHiddenAndPlainIds) {
  ExMenuCore menu;
  menu.itemWidth = 44;
  EXPECT_EQ(menu.MeasureItem(0), (ItemSize{44, 5}));
  EXPECT_EQ(menu.MeasureItem(1), (ItemSize{44, 0}));
  EXPECT_EQ(menu.MeasureItem(2), (ItemSize{44, 20}));
  EXPECT_EQ(menu.MeasureItem(2001), (ItemSize{44, 20}));
  menu.itemHeight = 30;
  EXPECT_EQ(menu.MeasureItem(2001).height, 32);
  EXPECT_EQ(menu.MeasureItem(0).height, 5);
}

TEST(ExMenuCoreTest, SeparatorIsABackgroundWithAMiddleLineEvenWhenSelected) {
  ExMenuCore menu;
  menu.backColor = 0x00112233;
  menu.separatorColor = 0x00445566;
  for (const bool selected : {false, true}) {
    const ItemPaintPlan plan = menu.PlanItem(0, selected, {3, 10, 50, 15});
    EXPECT_TRUE(plan.separator);
    EXPECT_EQ(plan.fillColor, 0x00112233u);
    EXPECT_EQ(plan.lineColor, 0x00445566u);
    EXPECT_EQ(plan.lineY, 12);  // 10 + 5 / 2
    EXPECT_TRUE(plan.text.empty());
    EXPECT_EQ(plan.rect, (ItemRect{3, 10, 50, 15}));
  }
  // Rounded toward zero also for a rectangle turned upside down.
  EXPECT_EQ(menu.PlanItem(0, false, {0, 10, 5, 5}).lineY, 8);  // 10 + (-5) / 2
}

TEST(ExMenuCoreTest, SelectedItemIsABlueBarWithBlackTextWhateverTheTextColour) {
  ExMenuCore menu;
  const std::uint32_t id = AddPlain(menu, u"Item");
  menu.textColor = 0x000000FF;  // red
  menu.selTextColor = 0x0000FF00;
  const ItemPaintPlan plan = menu.PlanItem(id, true, {0, 0, 30, 20});
  EXPECT_FALSE(plan.separator);
  EXPECT_EQ(plan.fillColor, 0x00CC7A00u);
  EXPECT_EQ(plan.textArgb, 0xFF000000u);
  EXPECT_EQ(plan.markColor, 0x0000FF00u);
  EXPECT_EQ(plan.text, u"Item");
  EXPECT_FALSE(plan.drawMark);
}

TEST(ExMenuCoreTest, UnselectedItemTextBrushIsTheTextColourMadeOpaqueArgb) {
  ExMenuCore menu;
  const std::uint32_t id = AddPlain(menu, u"Item");
  menu.textColor = 0x00332211;  // red 0x11, green 0x22, blue 0x33
  const ItemPaintPlan plan = menu.PlanItem(id, false, {0, 0, 30, 20});
  EXPECT_EQ(plan.fillColor, 0x00FFFFFFu);
  EXPECT_EQ(plan.textArgb, 0xFF112233u);
  EXPECT_EQ(plan.markColor, 0x00332211u);
}

TEST(ExMenuCoreTest, TrademarkMarkAndItsLightBlueColourFollowTheFlags) {
  ExMenuCore menu;
  const std::uint32_t blueMark = AddPlain(menu, u"A", 1, 1);
  const std::uint32_t plainMark = AddPlain(menu, u"B", 0, 1);
  const std::uint32_t noMark = AddPlain(menu, u"C", 1, 2);
  for (const bool selected : {false, true}) {
    const ItemPaintPlan blue = menu.PlanItem(blueMark, selected, {});
    EXPECT_TRUE(blue.drawMark);
    EXPECT_EQ(blue.markColor, 0x00FFBF44u);
    EXPECT_TRUE(menu.PlanItem(plainMark, selected, {}).drawMark);
    EXPECT_EQ(menu.PlanItem(plainMark, selected, {}).markColor, 0u);
    EXPECT_FALSE(menu.PlanItem(noMark, selected, {}).drawMark);
  }
}

TEST(ExMenuCoreTest, AnItemWithoutEntryIsAPlainBackgroundWithoutTextOrMark) {
  ExMenuCore menu;
  const ItemPaintPlan plan = menu.PlanItem(4711, false, {0, 0, 10, 10});
  EXPECT_FALSE(plan.separator);
  EXPECT_EQ(plan.fillColor, 0x00FFFFFFu);
  EXPECT_TRUE(plan.text.empty());
  EXPECT_FALSE(plan.drawMark);
}

TEST(ExMenuCoreTest, MarkGoesTwoPixelsAfterTheMeasuredTextCentredOnItsHeight) {
  EXPECT_EQ(MarkOriginFor({10, 100, 40, 120}, 25, 17), (MarkOrigin{37, 102}));  // 110 - 8
  EXPECT_EQ(MarkOriginFor({0, 0, 30, 21}, 0, 0), (MarkOrigin{2, 10}));
  EXPECT_EQ(MarkOriginFor({0, 0, 30, 20}, 5, 30), (MarkOrigin{7, -5}));
}

TEST(MenuFrameTest, HookLooksOnlyAtCreationAndSizingWithActionCode) {
  EXPECT_TRUE(IsFramingMoment(0, 0x0001));
  EXPECT_TRUE(IsFramingMoment(0, 0x01E2));
  EXPECT_FALSE(IsFramingMoment(1, 0x0001));
  EXPECT_FALSE(IsFramingMoment(-1, 0x01E2));
  EXPECT_FALSE(IsFramingMoment(0, 0x0018));
  EXPECT_FALSE(IsFramingMoment(0, 0x01E1));
}

TEST(MenuFrameTest, OnlyTheExactPopupMenuClassWithoutThePropertyIsFramed) {
  EXPECT_TRUE(ShouldFrameWindow(u"#32768", false));
  EXPECT_FALSE(ShouldFrameWindow(u"#32768", true));
  EXPECT_FALSE(ShouldFrameWindow(u"#32769", false));
  EXPECT_FALSE(ShouldFrameWindow(u"#3276", false));
  EXPECT_FALSE(ShouldFrameWindow(u"#327680", false));
  EXPECT_FALSE(ShouldFrameWindow(u"#32768x", false));
  EXPECT_FALSE(ShouldFrameWindow(u"", false));
  EXPECT_FALSE(ShouldFrameWindow(u"Button", false));
}

TEST(MenuFrameTest, FramedProcedurePaintsPrintsAndDetachesOnlyWithARecord) {
  using A = FramedMenuAction;
  EXPECT_EQ(ChooseFramedMenuAction(0x0085, 1, true), A::kPaintFrameOnly);
  EXPECT_EQ(ChooseFramedMenuAction(0x0317, 0, true), A::kPassOnThenPaintFrame);
  EXPECT_EQ(ChooseFramedMenuAction(0x0018, 0, true), A::kDetachThenPassOn);
  EXPECT_EQ(ChooseFramedMenuAction(0x0018, 1, true), A::kPassOn);
  EXPECT_EQ(ChooseFramedMenuAction(0x0082, 0, true), A::kDetachThenPassOn);
  EXPECT_EQ(ChooseFramedMenuAction(0x0083, 0, true), A::kPassOn);
  EXPECT_EQ(ChooseFramedMenuAction(0x000F, 0, true), A::kPassOnThenRepaintFrame);
  EXPECT_EQ(ChooseFramedMenuAction(0x0014, 0, true), A::kPassOn);
  for (const unsigned message : {0x0085u, 0x0317u, 0x0018u, 0x0082u, 0x000Fu}) {
    EXPECT_EQ(ChooseFramedMenuAction(message, 0, false), A::kPassOn) << message;
  }
}

TEST(MenuFrameTest, ThreeRingsOuterFirstAlongTheInsideOfTheWindow) {
  const FrameColors colors = {0x00CC7A00, 0x00FFFFFF, 0x00EEEEEE};
  const std::vector<FrameFill> fills = FrameRings(40, 30, colors);
  const std::vector<FrameFill> expected = {
      {0, 0, 40, 1, 0x00CC7A00},   {0, 0, 1, 30, 0x00CC7A00},   {39, 0, 40, 30, 0x00CC7A00},
      {0, 29, 40, 30, 0x00CC7A00}, {1, 1, 39, 2, 0x00FFFFFF},   {1, 1, 2, 29, 0x00FFFFFF},
      {38, 1, 39, 29, 0x00FFFFFF}, {1, 28, 39, 29, 0x00FFFFFF}, {2, 2, 38, 3, 0x00EEEEEE},
      {2, 2, 3, 28, 0x00EEEEEE},   {37, 2, 38, 28, 0x00EEEEEE}, {2, 27, 38, 28, 0x00EEEEEE},
  };
  EXPECT_EQ(fills, expected);
}

TEST(MenuFrameTest, AWindowSmallerThanTheFrameGetsOnlyWhatFits) {
  const FrameColors colors = {1, 2, 3};
  EXPECT_TRUE(FrameRings(0, 0, colors).empty());
  EXPECT_TRUE(FrameRings(-5, 10, colors).empty());
  // 3 x 3: the outer ring, then the single middle pixel twice (column and row).
  const std::vector<FrameFill> small = FrameRings(3, 3, colors);
  ASSERT_EQ(small.size(), 8u);
  for (const FrameFill& fill : small) {
    EXPECT_GE(fill.left, 0);
    EXPECT_LE(fill.right, 3);
    EXPECT_LT(fill.left, fill.right);
    EXPECT_LT(fill.top, fill.bottom);
    EXPECT_NE(fill.color, 3u);
  }
}

struct FakeRecord {
  int hWnd;
};

TEST(MenuFrameTest, AWindowHasAtMostOneRecordUntilItIsRemoved) {
  FramedWindowRecords<int, FakeRecord> records;
  EXPECT_GE(records.BucketCount(), 1000u);
  FakeRecord* first = records.Attach(5);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->hWnd, 5);
  EXPECT_EQ(records.Attach(5), first);
  EXPECT_EQ(records.Size(), 1u);
  EXPECT_EQ(records.Find(6), nullptr);
  records.Attach(6);
  records.Remove(first);
  EXPECT_EQ(records.Find(5), nullptr);
  EXPECT_NE(records.Find(6), nullptr);
  records.Remove(nullptr);
  // A record that is not the map's own is not removed in its place.
  FakeRecord stranger{6};
  records.Remove(&stranger);
  EXPECT_NE(records.Find(6), nullptr);
}

}  // namespace
}  // namespace torvo
