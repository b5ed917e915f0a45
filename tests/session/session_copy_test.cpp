// The window's rules while recordings are ticked and copied, tested on the session: the
// selection and its words, batches and what they leave on each row, ticks made during a batch,
// the reasons a row was not copied, Stop, leaving during a copy, the search of the whole disk,
// and copies in parts.
#include "catalogue/read_catalogue.h"
#include "session/session_fixture.h"
#include "support/failing_disk.h"

namespace skelbrook::test {
namespace {

std::string WithoutTimes(std::string text) {
  return std::regex_replace(text, std::regex("12:00:00"), "T");
}

TEST_F(SessionTest, TickingCountsTheSelectionAndTwoBatchesTheSecondOverAnExistingFile) {
  ReadList(FourRecordings());
  // Ticking selects the row, shows its details and counts; unticking counts down; Copy follows.
  s->TickRow(0, true);
  EXPECT_EQ(StatusLine(), Selected("1 file selected totaling 780048 bytes."));
  EXPECT_EQ(view.screen.currentRow, std::optional<size_t>(0));
  EXPECT_EQ(view.screen.details, "Breakfast and the news.");
  EXPECT_TRUE(view.screen.copyButton.enabled);
  s->TickRow(3, true);  // totals above 4 GB are exact
  EXPECT_EQ(StatusLine(), Selected("2 files selected totaling 5000780049 bytes."));
  s->TickRow(3, false);
  s->TickRow(0, false);
  EXPECT_EQ(StatusLine(), "Check the items required for transfer.");
  EXPECT_FALSE(view.screen.copyButton.enabled || s->CopyEnabled());
  s->SelectRow(1);  // a click shows the details and ticks nothing
  EXPECT_EQ(view.screen.details, "A thriller on rails.");
  EXPECT_EQ(s->Ticked().count, 0);
  s->Copy();  // with nothing ticked, nothing happens
  EXPECT_EQ(s->CurrentPhase(), session::Phase::Listed);

  // Two rows copied: both unticked and "downloaded", both bars full, Copy off again.
  s->TickRow(0, true);
  s->TickRow(2, true);
  ASSERT_TRUE(CopyNow());
  EXPECT_EQ(Marks(), "- downloaded, - default, - downloaded, - default");
  EXPECT_EQ(WithoutTimes(StatusLine()), "Start time: T Bytes: 1169072 - End time: T. 2 copied");
  EXPECT_TRUE(view.screen.recordingBar.visible && view.screen.recordingBar.percent == 100);
  EXPECT_EQ(view.screen.batchBar.text, "All ticked recordings: 100%");
  EXPECT_FALSE(view.screen.copyButton.enabled);
  EXPECT_EQ(s->Ticked().count, 0);
  EXPECT_EQ(DestFiles(), (std::vector<std::string>{kNameA, kNameC}));
  EXPECT_EQ(DestFile(kNameA), Expected(31, 780048));
  EXPECT_EQ(DestFile(kNameC), Expected(33, 389024));

  // Again, over an older copy of the first: that row fails and stays ticked, the next is copied,
  // and Copy stays on for the failed row.
  std::ofstream(PathFromUtf8(dest.file(kNameA)), std::ios::binary) << "an older copy";
  s->TickRow(0, true);
  s->TickRow(1, true);
  ASSERT_TRUE(CopyNow());
  EXPECT_EQ(Marks(), "x failed, - downloaded, - downloaded, - default");
  EXPECT_EQ(WithoutTimes(StatusLine()),
            "Errors! Make sure the file name(s) you are copying do not exist. - End time: T. 1 "
            "copied, 1 not copied: point at a row for its reason");
  EXPECT_TRUE(view.screen.copyButton.enabled && s->CopyEnabled());
  EXPECT_EQ(s->Ticked().bytes, 780048);
  EXPECT_EQ(DestFile(kNameB), Expected(32, 390024));
  EXPECT_EQ(DestFile("" + kNameA).size(), 13u);  // "an older copy", untouched
}

TEST_F(SessionTest, TicksDuringABatchJoinItAndFailedCopiesSayWhy) {
  mk::ImageDesign design = FourRecordings();
  design.recordings[1].withMediaFile = false;    // listed, but its recording is not on the disk
  design.recordings[0].clusters = {20, 22, 24};  // three reads, each slow
  ReadList(design);
  // A tick made while the first row is copied joins the batch; Copy stays off throughout and a
  // press on it then starts no batch inside the batch.
  s->SeamsInUse().openDisk = Slow(std::chrono::milliseconds(300));
  s->TickRow(0, true);
  bool copyOn = true;
  view.When([](const session::Screen& screen) { return screen.recordingBar.percent > 0; },
            [&] {
              s->TickRow(2, true);
              s->Copy();
              copyOn = s->CurrentPhase() != session::Phase::Copying ||
                       view.screen.copyButton.enabled || s->CopyEnabled();
            });
  ASSERT_TRUE(CopyNow());
  EXPECT_FALSE(copyOn);
  EXPECT_EQ(Marks(), "- downloaded, - default, - downloaded, - default");
  s->SeamsInUse().openDisk = {};

  // A recording missing from the disk: the status line names the row and the reason, and the row
  // keeps it in its tooltip and details once others follow.
  s->TickRow(1, true);
  ASSERT_TRUE(CopyNow());
  EXPECT_EQ(Marks(), "- downloaded, x failed, - downloaded, - default");
  EXPECT_EQ(WithoutTimes(StatusLine()),
            "Errors! " + kNameB +
                " was not copied: no media file was found on the disk for this recording - End "
                "time: T. 0 copied, 1 not copied: point at a row for its reason");
  const std::string reason = "Not copied: no media file was found on the disk for this recording";
  EXPECT_EQ(view.rows[1].nameTip, kNameB + "\n\n" + reason);
  EXPECT_EQ(view.rows[1].tip, reason);
  s->SelectRow(1);
  EXPECT_EQ(view.screen.details, "A thriller on rails.\n\n" + reason);
  EXPECT_EQ(view.rows[0].nameTip, kNameA);

  // A sector that will not read fails a plain copy, and its reason says how to keep what reads.
  s->TickRow(1, false);
  std::filesystem::remove(PathFromUtf8(dest.file(kNameA)));
  const int64_t bad = s->Recordings()[0].media.offset + 65536 + 512;
  s->SeamsInUse().openDisk = FailingAt({{bad, 1}}, false);
  s->TickRow(0, true);
  ASSERT_TRUE(CopyNow());
  EXPECT_TRUE(view.rows[0].tip.ends_with(
      ". Tick \"Rescue unreadable sectors\" and copy it again to keep what reads."))
      << view.rows[0].tip;
  EXPECT_EQ(view.screen.taskbar.state, session::TaskbarState::None);
  EXPECT_EQ(DestFiles(), std::vector<std::string>{kNameC});

  // With rescue ticked the unreadable sector becomes zeros; the copy is kept under its working
  // name with its map, a state of its own that is not a failure.
  s->SetOption(session::OptionBox::Rescue, true);
  ASSERT_TRUE(CopyNow());
  EXPECT_EQ(Marks().substr(0, 12), "x incomplete");
  const std::string kept = "003_073005Mar_Morning Show.incomplete.ts";
  EXPECT_EQ(view.rows[0].tip, "Kept incomplete: 512 bytes could not be read and are zeros in " +
                                  kept +
                                  " (map beside it). Copy it again with \"Rescue unreadable "
                                  "sectors\" ticked to retry only those bytes.");
  EXPECT_TRUE(
      StatusLine().ends_with(". 0 copied, 1 kept incomplete: point at a row for its reason"))
      << StatusLine();
  const std::vector<uint8_t> holed = DestFile(kept);
  ASSERT_EQ(holed.size(), 780048u);
  EXPECT_EQ(std::vector<uint8_t>(holed.begin() + 65536 + 512, holed.begin() + 65536 + 1024),
            std::vector<uint8_t>(512, 0));

  // The disk reads again: the next rescue retries only those bytes and names the copy.
  s->SeamsInUse().openDisk = {};
  ASSERT_TRUE(CopyNow());
  EXPECT_EQ(Marks().substr(0, 12), "- downloaded");
  EXPECT_EQ(DestFile(kNameA), Expected(31, 780048));
}

TEST_F(SessionTest, StopEndsTheBatchAtItsNextReadAndLeavesNoPartialFile) {
  ReadSlowLongCopy();
  EXPECT_FALSE(view.screen.stopButton.visible);
  bool stopShown = false;
  view.When([](const session::Screen& screen) { return screen.recordingBar.percent > 0; },
            [&] {
              stopShown = view.screen.stopButton.visible && view.screen.stopButton.enabled &&
                          !view.screen.readButton.visible;
              s->Stop();
            });
  ASSERT_TRUE(CopyNow());
  EXPECT_TRUE(stopShown && !view.screen.stopButton.visible && view.screen.readButton.visible);
  EXPECT_TRUE(DestFiles().empty());
  EXPECT_EQ(Marks().substr(0, 20), "x default, x default");
  EXPECT_EQ(WithoutTimes(StatusLine()),
            "Stopped - End time: T. 0 copied; the rows not reached are still ticked.");
  EXPECT_TRUE(view.screen.copyButton.enabled);

  // A rescue that is stopped keeps what it read, and its row says where and how to go on.
  s->SetOption(session::OptionBox::Rescue, true);
  view.When(
      [](const session::Screen& screen) {
        return screen.stopButton.enabled && screen.recordingBar.percent > 0;
      },
      [&] { s->Stop(); });
  ASSERT_TRUE(CopyNow());
  const std::string kept = s->Recordings()[0].fileStem + ".incomplete.ts";
  EXPECT_EQ(DestFiles(), (std::vector<std::string>{kept, kept + ".map"}));
  EXPECT_EQ(view.rows[0].tip,
            "Stopped: what was read so far is kept in " + kept +
                " (map beside it). Copy it again with \"Rescue unreadable sectors\" ticked to go "
                "on from there.");
  EXPECT_EQ(Marks().substr(0, 20), "x default, x default");
}

TEST_F(SessionTest, LeavingDuringACopyAsksThenStopsAndLeavesNoPartialFile) {
  for (const bool exitButton : {true, false}) {  // the Exit button, then the close box
    Restart();
    for (const std::string& f : DestFiles()) std::filesystem::remove(PathFromUtf8(dest.file(f)));
    ReadSlowLongCopy();
    // Asked, the user first says no: the copy goes on; then yes.
    view.answer = false;
    int leftAt = 0;
    bool wentAtOnce = true;
    view.When([](const session::Screen& screen) { return screen.recordingBar.percent > 0; },
              [&] {
                leftAt = view.screen.recordingBar.percent;
                const int focused = view.focusedList;
                wentAtOnce = exitButton ? (s->Exit(), false) : s->Close();
                EXPECT_EQ(s->CurrentPhase(), session::Phase::Copying);
                EXPECT_EQ(view.focusedList, focused + 1);  // the keyboard is back on the list
                view.answer = true;
                wentAtOnce = wentAtOnce || (exitButton ? (s->Exit(), false) : s->Close());
              });
    ASSERT_TRUE(CopyNow());
    EXPECT_FALSE(wentAtOnce);
    EXPECT_EQ(view.questions, (std::vector<std::string>{"A copy is running. Stop it and quit?",
                                                        "A copy is running. Stop it and quit?"}));
    EXPECT_TRUE(leftAt > 0 && leftAt < 50);
    EXPECT_EQ(s->CurrentPhase(), session::Phase::Closing);
    EXPECT_EQ(view.endings, std::vector<int>{0});
    EXPECT_TRUE(DestFiles().empty());
    EXPECT_TRUE(s->Close());  // once closing, the window goes without asking
  }
}

// The question before quitting waits on the user while the window goes on: when the copy ends
// meanwhile, Yes leaves at once rather than waiting for a copy that is over.
TEST_F(SessionTest, YesToQuitAfterTheCopyEndedMeanwhileLeavesAtOnce) {
  ReadList(FourRecordings());
  s->TickRow(2, true);
  view.answer = true;
  s->Copy();
  ASSERT_EQ(s->CurrentPhase(), session::Phase::Copying);
  // As a message box's own event loop runs the window's calls while it waits for the user.
  view.whileAsking = [this] {
    EXPECT_TRUE(view.RunUntil([this] { return view.ended[Work::Copy] == 1; }));
  };
  EXPECT_FALSE(s->Close());
  EXPECT_EQ(view.endings, std::vector<int>{0});
  EXPECT_EQ(s->CurrentPhase(), session::Phase::Closing);
}

TEST_F(SessionTest, LeavingWhileTheListIsReadStopsTheReadAndEndsAtOnce) {
  const std::string image = Image(FourRecordings());
  s->SeamsInUse().openDisk = Slow(std::chrono::milliseconds(100));
  Choose(dest.path());
  s->SetDriveText(image);
  s->ReadList();
  EXPECT_TRUE(s->Close());  // the close box: no question while only reading
  EXPECT_TRUE(view.questions.empty());
  EXPECT_EQ(s->CurrentPhase(), session::Phase::Closing);
  ASSERT_TRUE(view.RunUntil([&] { return view.ended[Work::ReadList] == 1; }));
  EXPECT_TRUE(view.rows.empty());  // the stopped read lists nothing
}

// Ticked before the read, the search of the whole disk lists what the catalogue lost after the
// other rows, with its bar and Stop; a found row copies like any other.
TEST_F(SessionTest, ASearchOfTheWholeDiskFindsWhatTheCatalogueLostAndCanBeStopped) {
  mk::ImageDesign design = FourRecordings();
  design.recordings.resize(1);
  mk::ImageRecording lost;
  lost.stream = mk::StreamDesign{};
  lost.stream->time = 1736105400;  // 19:30 on 5 January 2025
  lost.stream->eventName = "Quiz";
  lost.size = 3000 * 188;
  lost.clusters = {40, 41};
  lost.withMediaFile = lost.withRecord = lost.inTable = false;  // deleted
  design.recordings.push_back(lost);

  // Stopped at its first progress, the search lists nothing more and leaves the list usable.
  s->SeamsInUse().openDisk = Slow(std::chrono::milliseconds(200), 2 * 1024 * 1024);
  s->SetOption(session::OptionBox::Deep, true);
  bool barSaid = false;
  view.When([](const session::Screen& screen) { return screen.recordingBar.visible; },
            [&] {
              barSaid = view.screen.recordingBar.text.starts_with("Searching the whole disk: ") &&
                        view.screen.stopButton.visible && view.screen.stopButton.enabled;
              s->Stop();
              EXPECT_EQ(StatusLine(), "Stopping the search at its next read.");
            });
  ReadList(design);
  EXPECT_TRUE(barSaid);
  EXPECT_TRUE(!view.screen.recordingBar.visible && view.screen.readButton.visible);
  EXPECT_EQ(view.rows.size(), 1u);
  EXPECT_EQ(StatusLine(),
            "Check the items required for transfer. The search of the whole disk was stopped: no "
            "lost recordings are listed.");

  Restart();
  s->SetOption(session::OptionBox::Deep, true);
  ReadList(design);
  ASSERT_EQ(view.rows.size(), 2u);
  EXPECT_EQ(view.rows[1].name, "found_001_20250105-1930_Quiz.ts");
  EXPECT_EQ(Marks(), "- default, - found");
  EXPECT_EQ(StatusLine(),
            "Check the items required for transfer. The search of the whole disk found 1 lost "
            "recording, listed as found_NNN.");
  s->TickRow(1, true);
  ASSERT_TRUE(CopyNow());
  EXPECT_EQ(Marks(), "- default, - downloaded");
  EXPECT_EQ(DestFile(view.rows[1].name), mk::StreamBytes(*lost.stream, lost.seed, 0, lost.size));
  Open();  // not remembered: the next start has it off
  EXPECT_FALSE(view.screen.deepBox.checked);
}

// Stopped before its catalogue was read, a search of the whole disk leaves the window ready to read
// the disk again; Exit while a search stops asks nothing (no copy runs) and leaves.
TEST_F(SessionTest, ASearchStoppedBeforeTheListWasReadLeavesTheWindowReadyAgain) {
  const std::string image = Image(FourRecordings());
  s->SeamsInUse().openDisk = Slow(std::chrono::milliseconds(100));
  s->SetOption(session::OptionBox::Deep, true);
  Choose(dest.path());
  s->SetDriveText(image);
  s->ReadList();
  ASSERT_TRUE(view.RunUntil([&] { return view.screen.diskLineVisible; }));
  s->Stop();  // the catalogue is still being read
  ASSERT_TRUE(view.RunUntil([&] { return view.ended[Work::ReadList] == 1; }));
  EXPECT_EQ(s->CurrentPhase(), session::Phase::Ready);
  EXPECT_EQ(
      StatusLine(),
      "Stopped before the list was read. Press \"Read filelist from 9200T\" to read it again.");
  EXPECT_TRUE(view.screen.readButton.enabled && view.screen.driveRow.visible);
  s->SeamsInUse().openDisk = {};
  ASSERT_TRUE(view.Await(Work::ReadList, [&] { s->ReadList(); }));
  EXPECT_EQ(view.rows.size(), 4u);

  Restart();
  s->SeamsInUse().openDisk = Slow(std::chrono::milliseconds(100));
  s->SetOption(session::OptionBox::Deep, true);
  Choose(dest.path());
  s->SetDriveText(image);
  s->ReadList();
  s->Stop();
  s->Exit();
  EXPECT_TRUE(view.questions.empty());
  EXPECT_EQ(view.endings, std::vector<int>{0});
  ASSERT_TRUE(view.RunUntil([&] { return view.ended[Work::ReadList] == 1; }));
}

// Stopped while a failing catalogue is read sector by sector, the search leaves the window ready
// again: the sectors the stop left unread are neither damage nor a missing catalogue.
TEST_F(SessionTest, AStopWithinAFailingCatalogueClaimsNoDamage) {
  const std::string image = Image(FourRecordings());
  Catalogue plain;
  CatalogueObserver quiet;
  ASSERT_EQ(ReadCatalogue(image, {}, plain, nullptr, quiet), CatalogueResult::Listed);
  // The root directory's first sector is bad; the read of the next one waits for the stop.
  const int64_t held = plain.area.rootDirectoryOffset + kSectorSize;
  auto reached = std::make_shared<std::atomic<bool>>(false);
  auto hold = std::make_shared<std::atomic<bool>>(true);
  s->SeamsInUse().openDisk = [=](const std::string& path, std::unique_ptr<DiskReader>& disk) {
    class Held : public DiskReader {
     public:
      Held(std::unique_ptr<DiskReader> real, std::function<void(int64_t)> wait)
          : real_(std::move(real)), wait_(std::move(wait)) {}
      int64_t ReadAt(int64_t offset, uint8_t* into, int64_t count, std::string& error) override {
        wait_(offset);
        return real_->ReadAt(offset, into, count, error);
      }
      int64_t SizeBytes() const override { return real_->SizeBytes(); }

     private:
      std::unique_ptr<DiskReader> real_;
      std::function<void(int64_t)> wait_;
    };
    std::unique_ptr<DiskReader> failing;
    const Status opened = FailingAt({{held - kSectorSize, kSectorSize}})(path, failing);
    if (opened.ok()) {
      disk = std::make_unique<Held>(std::move(failing), [=](int64_t offset) {
        if (offset != held) return;
        *reached = true;
        while (*hold) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      });
    }
    return opened;
  };
  s->SetOption(session::OptionBox::Deep, true);
  Choose(dest.path());
  s->SetDriveText(image);
  s->ReadList();
  ASSERT_TRUE(view.RunUntil([&] { return reached->load(); }));
  s->Stop();
  *hold = false;
  ASSERT_TRUE(view.RunUntil([&] { return view.ended[Work::ReadList] == 1; }));
  EXPECT_EQ(s->CurrentPhase(), session::Phase::Ready);
  EXPECT_TRUE(view.messages.empty() && view.endings.empty());
  EXPECT_TRUE(view.rows.empty());
  EXPECT_EQ(
      StatusLine(),
      "Stopped before the list was read. Press \"Read filelist from 9200T\" to read it again.");
}

// On a stick whose file system holds no file as large as a recording (FAT32: 4 GiB; here a few
// clusters, told through the seam), the recording is copied in parts unless the user says not
// to; the box shows only there and is remembered.
TEST_F(SessionTest, ARecordingTooLargeForTheStickIsCopiedInPartsUnlessTheUserSaysNot) {
  constexpr int64_t kCluster = 385024, kSize = 7 * kCluster + 5000;
  EXPECT_FALSE(view.screen.splitBox.visible);
  s->SeamsInUse().queryVolume = [](const std::string&) {
    return VolumeInfo{"vfat", -1, 3 * kCluster + 100, -1};
  };
  mk::ImageDesign design = FourRecordings();
  design.recordings[0].size = kSize;
  ReadList(design);
  ASSERT_TRUE(view.RunUntil([&] { return view.screen.splitBox.visible; }));
  EXPECT_TRUE(view.screen.splitBox.checked);
  s->TickRow(0, true);
  ASSERT_TRUE(CopyNow());
  const std::string stem = kNameA.substr(0, kNameA.size() - 3);
  const std::vector<std::string> parts{stem + " - part1.ts", stem + " - part2.ts",
                                       stem + " - part3.ts"};
  EXPECT_EQ(DestFiles(), parts);
  std::vector<uint8_t> joined;
  for (const std::string& part : parts) {
    const std::vector<uint8_t> bytes = DestFile(part);
    joined.insert(joined.end(), bytes.begin(), bytes.end());
  }
  EXPECT_EQ(joined, Expected(31, kSize));
  EXPECT_EQ(view.rows[0].tip, "Copied in 3 parts, " + parts[0] + ", " + parts[1] + ", " + parts[2] +
                                  ": the recording is larger than the destination holds in one "
                                  "file. A media library plays them as one.");

  // Not ticked: remembered, and such a recording is not copied at all.
  s->SetOption(session::OptionBox::Split, false);
  EXPECT_NE(ReadWholeFile(s->SettingsPath()).size(), 0u);
  const std::vector<uint8_t> settings = ReadWholeFile(s->SettingsPath());
  EXPECT_NE(std::string(settings.begin(), settings.end()).find("Split for FAT32=0\r\n"),
            std::string::npos);
  for (const std::string& part : parts) std::filesystem::remove(PathFromUtf8(dest.file(part)));
  s->TickRow(0, true);
  ASSERT_TRUE(CopyNow());
  EXPECT_EQ(Marks().substr(0, 8), "x failed");
  EXPECT_TRUE(DestFiles().empty());
  Open();
  EXPECT_FALSE(view.screen.splitBox.checked);
}

}  // namespace
}  // namespace skelbrook::test
