// Long lists, tested on the session: the list put in a column's order and searched, while rows
// keep their numbers and a copy keeps the catalogue's order; ticking every row shown at once; and
// a selection larger than the room at the destination, which is said before anything is copied.
#include <algorithm>
#include <fstream>

#include "catalogue/search.h"
#include "session/session_fixture.h"

namespace skelbrook::test {
namespace {

// The rows the view shows, by their list index, in the order shown.
std::vector<size_t> Order(const FakeView& view) {
  std::vector<size_t> rows;
  for (const session::RowView& r : view.rows) rows.push_back(r.row);
  return rows;
}

TEST(Search, EveryWordStandsInTheTitleChannelOrGuideWhateverItsCaseOrAccents) {
  Recording r;
  r.title = "Café Society";
  r.channel = "ABC2";
  r.guideText = "A drama set in a Paris CAFÉ in the 1920s. Œuvre\tof Zoë Müller";
  const std::string text = SearchableText(r);
  const auto matches = [&](const char* typed) { return MatchesAll(text, SearchWords(typed)); };
  EXPECT_TRUE(matches("cafe") && matches("CAFÉ society") && matches("abc2 paris"));
  EXPECT_TRUE(matches("oeuvre zoe muller") && matches("  ") && matches("of zoe"));
  EXPECT_FALSE(matches("cafe abc1") || matches("news") || matches("paris london"));
  EXPECT_EQ(FoldForSearch("Straße  ÆON\u00a0x"), "strasse aeon x");
  // Not UTF-8: each stray byte is taken for the Latin-1 letter it would be.
  EXPECT_EQ(FoldForSearch("\xff\xfe broken"), "yth broken");
}

TEST_F(SessionTest, TheListInAColumnsOrderIsAViewRowsKeepTheirNumbersAndCopiesTheirOrder) {
  ReadList(FourRecordings());
  const std::vector<uint8_t> listFile = ReadWholeFile(s->ListFilePath());
  EXPECT_EQ(Order(view), (std::vector<size_t>{0, 1, 2, 3}));
  s->SortBy(SortKey::Name);  // Film: Night Train, Late News, Long Film, Morning Show
  EXPECT_EQ(Order(view), (std::vector<size_t>{1, 2, 3, 0}));
  EXPECT_EQ(view.screen.sortKey, SortKey::Name);
  EXPECT_FALSE(view.screen.sortDescending);
  s->SortBy(SortKey::Name);  // clicked again: the other way round
  EXPECT_EQ(Order(view), (std::vector<size_t>{0, 3, 2, 1}));
  EXPECT_TRUE(view.screen.sortDescending);
  s->SortBy(SortKey::Size);
  EXPECT_EQ(Order(view), (std::vector<size_t>{2, 1, 0, 3}));
  s->SortBy(SortKey::Size);
  s->SortBy(SortKey::Size);  // a third time: the catalogue's order again
  EXPECT_EQ(Order(view), (std::vector<size_t>{0, 1, 2, 3}));
  EXPECT_EQ(view.screen.sortKey, SortKey::Catalogue);
  s->SortBy(SortKey::Start);
  EXPECT_EQ(Order(view), (std::vector<size_t>{0, 2, 3, 1}));
  EXPECT_EQ(view.rows[1].name, kNameC);  // a row keeps its own texts wherever it stands

  // Ticked in the shown order, copied in the catalogue's; the list file is as it was read.
  s->TickRow(2, true);
  s->TickRow(0, true);
  ASSERT_TRUE(CopyNow());
  EXPECT_EQ(view.copied, (std::vector<size_t>{0, 2}));
  EXPECT_EQ(Order(view), (std::vector<size_t>{0, 2, 3, 1}));
  EXPECT_EQ(ReadWholeFile(s->ListFilePath()), listFile);
}

TEST_F(SessionTest, TheSearchShowsTheRowsHoldingEveryWordAndKeepsTheTicksItHides) {
  ReadList(mk::DemoImageDesign());
  ASSERT_EQ(view.rows.size(), 5u);
  EXPECT_TRUE(view.screen.searchBox.enabled && view.screen.tickShownButton.enabled);
  s->SetSearch("cafe");
  ASSERT_EQ(view.rows.size(), 1u);
  EXPECT_EQ(view.rows[0].name, "005_200007Mar_Café Society.ts");
  EXPECT_EQ(StatusLine(), "Check the items required for transfer. Showing 1 of 5 recordings.");
  s->SetSearch("NEWS  abc1");  // The Evening News and Late News, both on ABC1
  EXPECT_EQ(Order(view), (std::vector<size_t>{0, 4}));
  EXPECT_EQ(view.screen.search, "NEWS  abc1");
  s->TickRow(4, true);
  s->SetSearch("pruning");
  EXPECT_EQ(StatusLine(), Selected("1 file selected totaling 1053576 bytes.") +
                              " Showing 1 of 5 recordings. 1 ticked recording is not shown.");
  s->SetSearch("nothing of the kind");
  EXPECT_TRUE(view.rows.empty());
  s->TickShown();  // none shown, none ticked
  EXPECT_EQ(s->Ticked().count, 1);
  // A hidden tick is copied like any other.
  ASSERT_TRUE(CopyNow());
  EXPECT_EQ(DestFiles(), std::vector<std::string>{"012_233007Mar_Late News.ts"});
  s->SetSearch("");
  EXPECT_EQ(view.rows.size(), 5u);
  EXPECT_EQ(StatusLine().find("Showing"), std::string::npos);
}

TEST_F(SessionTest, TickShownAndUntickAllCountAsSingleTicksDo) {
  ReadList(mk::DemoImageDesign());
  s->SetSearch("news");
  s->TickShown();
  EXPECT_EQ(s->Ticked().count, 2);
  EXPECT_EQ(s->Ticked().bytes, 3149728 + 1053576);
  EXPECT_EQ(StatusLine(),
            Selected("2 files selected totaling 4203304 bytes.") + " Showing 2 of 5 recordings.");
  EXPECT_TRUE(view.rows[0].ticked && view.rows[1].ticked);
  EXPECT_TRUE(view.screen.copyButton.enabled);
  s->SetSearch("");
  s->TickRow(2, true);  // and one more, by hand
  s->SetSearch("news");
  s->UntickAll();  // also the one the search hides
  EXPECT_EQ(s->Ticked().count, 0);
  EXPECT_EQ(StatusLine(), "Check the items required for transfer. Showing 2 of 5 recordings.");
  EXPECT_FALSE(view.screen.copyButton.enabled);
}

// Ticked recordings that need more room than the destination has: the status line says the room
// beside the total, and Copy asks whether to copy what fits, in the catalogue's order.
TEST_F(SessionTest, WhatDoesNotFitTheDestinationIsSaidAndWhatFitsIsCopiedWhenTheUserSaysSo) {
  Open();
  s->SeamsInUse().queryVolume = [](const std::string&) {
    return VolumeInfo{"vfat", 1'000'000, kFatLargestFile, -1};
  };
  ReadList(FourRecordings());
  ASSERT_TRUE(view.RunUntil([&] { return view.screen.splitBox.visible; }));
  // The second is there already: it will be refused, and takes no room. The third's name has a
  // first part there, which refuses only a copy in parts: the third needs its room.
  std::ofstream(PathFromUtf8(dest.file(kNameB)), std::ios::binary) << "an older copy";
  const std::string third = view.rows[2].name;
  const std::string thirdsPart = third.substr(0, third.size() - 3) + " - part1.ts";
  std::ofstream(PathFromUtf8(dest.file(thirdsPart)), std::ios::binary) << "another copy's part";
  std::vector<std::string> before{kNameB, thirdsPart};
  std::sort(before.begin(), before.end());
  for (const size_t row : {0, 1, 2}) s->TickRow(row, true);
  EXPECT_EQ(StatusLine(),
            "3 files selected totaling 1559096 bytes. 1.0 MB free on " + dest.folder());
  view.answer = false;
  s->Copy();
  ASSERT_EQ(view.questions.size(), 1u);
  EXPECT_EQ(view.questions[0], "The ticked recordings need 1.2 MB, but only 1.0 MB free on " +
                                   dest.folder() +
                                   ". Copy the 1 of 2 that fit, in the catalogue's order?");
  EXPECT_EQ(s->CurrentPhase(), session::Phase::Listed);
  EXPECT_EQ(DestFiles(), before);
  view.answer = true;
  ASSERT_TRUE(CopyNow());
  before.push_back(kNameA);
  std::sort(before.begin(), before.end());
  EXPECT_EQ(DestFiles(), before);
  // The one there already was tried, and says why it was not copied; the one that did not fit
  // stays ticked for another time.
  EXPECT_EQ(Marks(), "- downloaded, x failed, x default, - default");
  EXPECT_TRUE(view.rows[1].tip.ends_with(kExistsMessage)) << view.rows[1].tip;

  // Not one fits: said, and nothing is asked or copied.
  s->UntickAll();
  s->TickRow(3, true);  // larger than FAT32 holds: copied in parts, so it counts
  view.questions.clear();
  s->Copy();
  EXPECT_TRUE(view.questions.empty());
  EXPECT_TRUE(
      StatusLine().starts_with("Not copied: the ticked recordings need 5.0 GB, but only "
                               "1.0 MB free on "))
      << StatusLine();
  EXPECT_EQ(s->CurrentPhase(), session::Phase::Listed);
}

}  // namespace
}  // namespace skelbrook::test
