// The window's rules before and while the list is read, tested on the session: start-up and its
// settings file, the folder chooser, reading a list that fails and one that works, what each
// phase lets the user do, the disk finder, the wait for a slow disk, and where the window keeps
// its files.
#include <filesystem>
#include <fstream>

#include "catalogue/text.h"
#include "session/home_folder.h"
#include "session/session_fixture.h"
#include "support/failing_disk.h"

namespace skelbrook::test {
namespace {

std::string FileText(const std::string& path) {
  const std::vector<uint8_t> bytes = ReadWholeFile(path);
  return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(PathFromUtf8(path), std::ios::binary | std::ios::trunc) << text;
}

// Which of the screen's controls are live: "read copy stop unlisted deep", a "-" before each
// that is off and none for one that is not shown.
std::string Live(const session::Screen& s) {
  std::string live;
  const auto add = [&live](const char* name, bool visible, bool enabled) {
    if (!visible) return;
    live += std::string(live.empty() ? "" : " ") + (enabled ? "" : "-") + name;
  };
  add("read", s.readButton.visible, s.readButton.enabled);
  add("stop", s.stopButton.visible, s.stopButton.enabled);
  add("copy", s.copyButton.visible, s.copyButton.enabled);
  add("unlisted", s.unlistedBox.visible, s.unlistedBox.enabled);
  add("deep", s.deepBox.visible, s.deepBox.enabled);
  add("drive", s.driveRow.visible, s.driveRow.enabled);
  add("disk", s.diskLineVisible, true);
  return live;
}

TEST_F(SessionTest, StartUpWritesTheDefaultsOrShowsTheStoredSettingsAsTheyAre) {
  // First start: three lines of defaults, each ending in CR LF, and the window shows them.
  const std::string folder = home.folder();
  const std::string defaults = "[9200T]\r\nPhysical drive=2\r\nSave to=" + folder + "\r\n";
  EXPECT_EQ(FileText(s->SettingsPath()), defaults);
  EXPECT_EQ(view.screen.destination, folder);
  EXPECT_EQ(view.screen.driveText, "2");
  EXPECT_EQ(Live(view.screen), "read -copy unlisted deep drive");
  EXPECT_EQ(view.screen.status, "");

  // A zero-length settings file counts as missing: the defaults again.
  WriteText(s->SettingsPath(), "");
  Open();
  EXPECT_EQ(FileText(s->SettingsPath()), defaults);

  // Stored settings are shown as they are, and reading them changes nothing.
  const std::string stored =
      "[9200T]\r\nPhysical drive=/dev/sdb\r\nSave to=/tv [old]/\r\nWrite guide files=1\r\n";
  WriteText(s->SettingsPath(), stored);
  Open();
  EXPECT_EQ(view.screen.driveText, "/dev/sdb");
  EXPECT_EQ(view.screen.destination, "/tv [old]/");
  EXPECT_TRUE(view.screen.nfoBox.checked && view.screen.splitBox.checked);
  EXPECT_EQ(FileText(s->SettingsPath()), stored);

  // A home folder that cannot hold the recordings list stops start-up with a report naming it.
  FakeView elsewhere;
  session::Session homeless(elsewhere, {home.file("gone"), ""});
  EXPECT_NE(homeless.StartupStatus().message().find("Files9200T.txt"), std::string::npos);
}

TEST_F(SessionTest, FailedReadsLeaveTheWindowReadyThenTheListIsReadOnce) {
  const std::string settings = FileText(s->SettingsPath());
  const std::string disk = Image(FourRecordings());
  // The folder chooser opens at the folder and puts one separator at the end; a cancel changes
  // nothing; nothing is stored until a read.
  Choose(dest.path());
  EXPECT_EQ(view.folderStart, home.folder());
  // What the folder is on is found out off the window's thread, then shown in its tooltip.
  ASSERT_TRUE(view.RunUntil([&] { return view.screen.destinationTip != dest.folder(); }));
  EXPECT_NE(view.screen.destinationTip.find(" bytes"), std::string::npos)
      << view.screen.destinationTip;
  Choose("");
  EXPECT_EQ(view.screen.destination, dest.folder());
  EXPECT_EQ(view.folderStart, dest.folder());
  EXPECT_EQ(FileText(s->SettingsPath()), settings);

  // A folder that is not there: only the message; the drive is not read, nothing is stored.
  Read(disk, dest.file("not-there"));
  EXPECT_EQ(StatusLine(), "Check the destination folder!");
  EXPECT_EQ(FileText(s->SettingsPath()), settings);

  // Not a recorder's disk: the settings are already stored when the message shows, a stale
  // probe file is cleared, and the window stays ready for another try.
  const std::string zeros = disks.file("zeros.img");
  WriteText(zeros, std::string(64 * 1024, '\0'));
  WriteText(dest.file("123.654"), "left over");
  Read(zeros, dest.path());
  EXPECT_EQ(StatusLine(),
            "Does not read like a known 9200T drive! (the recognition marker is missing)");
  EXPECT_EQ(FileText(s->SettingsPath()),
            "[9200T]\r\nPhysical drive=" + zeros + "\r\nSave to=" + dest.folder() + "\r\n");
  EXPECT_FALSE(FileExists(dest.file("123.654")));
  EXPECT_EQ(s->CurrentPhase(), Phase::Ready);
  EXPECT_EQ(Live(view.screen), "read -copy unlisted deep drive");

  // The recorder's disk. While it is read the options that shape the read are off and a second
  // press is ignored; afterwards the rows are shown in record order, unticked, and the drive row
  // is gone for the rest of the run.
  s->SetDriveText(disk);
  s->ReadList();
  EXPECT_EQ(s->CurrentPhase(), Phase::Reading);
  EXPECT_EQ(Live(view.screen), "-read -copy -unlisted -deep -drive");
  s->ReadList();
  s->SetOption(session::OptionBox::Deep, true);
  s->SetDriveText(zeros);  // the drive is fixed while it is read: the list and the copies are of it
  ASSERT_TRUE(view.RunUntil([&] { return view.ended[Work::ReadList] == 3; }));
  EXPECT_FALSE(view.screen.deepBox.checked);
  EXPECT_EQ(view.screen.driveText, disk);
  ASSERT_EQ(view.rows.size(), 4u);
  const std::vector<std::vector<std::string>> rows = {
      {kNameA, "780,048 Bytes", "ONE 07:30~08:15"},
      {kNameB, "390,024 Bytes", "Seven 21:05~22:40"},
      {kNameC, "389,024 Bytes", "ABC1 23:30~23:45"},
      {"015_044006Mar_Long Film.ts", "5,000,000,001 Bytes", "ONE 04:40~14:40"}};
  for (size_t r = 0; r < 4; ++r) {
    EXPECT_EQ(view.rows[r].row, r);
    EXPECT_EQ((std::vector<std::string>{view.rows[r].name, view.rows[r].size,
                                        view.rows[r].channelAndTimes}),
              rows[r]);
  }
  EXPECT_EQ(Marks(), "- default, - default, - default, - default");
  EXPECT_EQ(StatusLine(), "Check the items required for transfer.");
  EXPECT_EQ(s->CurrentPhase(), Phase::Listed);
  EXPECT_EQ(Live(view.screen), "-read -copy -unlisted -deep disk");
  EXPECT_EQ(view.screen.diskLine,
            "Disk: " + disk + " (" +
                SizeText(static_cast<int64_t>(std::filesystem::file_size(PathFromUtf8(disk)))) +
                "). Copies go to: " + dest.folder());
  EXPECT_GE(view.focusedList, 1);  // the keyboard goes to the list, never Exit
  // The recordings list file was written and closed; once listed, nothing reads again.
  const std::string list = FileText(s->ListFilePath());
  EXPECT_EQ(list.rfind(kNameA, 0), 0u);
  EXPECT_TRUE(list.ends_with("Closing Files9200T.txt\r\n"));
  s->ReadList();
  Choose(home.path());
  EXPECT_EQ(s->CurrentPhase(), Phase::Listed);
  EXPECT_EQ(view.screen.destination, dest.folder());
}

TEST_F(SessionTest, ACatalogueReadInPartSaysSoAndEachRowSaysWhatWentWrong) {
  const ReadBack healthy = ReadImage(Image(FourRecordings()));
  s->SeamsInUse().openDisk = FailingAt({{healthy.recordings[0].guideSectorOffset, 1}});
  ReadList(FourRecordings());
  EXPECT_EQ(StatusLine(),
            "The catalogue was read only in part (1 area of the disk could not be read). Check "
            "the items required for transfer.");
  s->TickRow(0, true);
  EXPECT_EQ(view.screen.details.rfind("\n\nRead in part:\n- the guide text could not be read", 0),
            0u)
      << view.screen.details;
  EXPECT_NE(view.rows[0].nameTip.find("guide sector: 512 bytes at byte"), std::string::npos);
  EXPECT_TRUE(view.rows[0].warning && !view.rows[1].warning);
  EXPECT_TRUE(view.rows[1].tip.empty());
  EXPECT_EQ(view.rows[1].nameTip, kNameB);
}

TEST_F(SessionTest, AMissingCatalogueEndsTheProgramUnlessTheMediaFilesAreAskedFor) {
  mk::ImageDesign design = FourRecordings();
  design.withRecordList = false;
  ReadList(design);
  EXPECT_EQ(view.messages,
            std::vector<std::string>{
                "Cannot locate _RECORD_LIST_ on this disk. The recordings may still be there: "
                "start Skelbrook again, tick \"Show recordings missing from the catalogue\" or "
                "\"Search the whole disk for lost recordings\" and read the list (README.md, "
                "section 'Cannot locate _RECORD_LIST_'). Exiting program."});
  EXPECT_EQ(view.endings, std::vector<int>{1});
  EXPECT_EQ(s->CurrentPhase(), Phase::Closing);

  // Asked to show what the catalogue lost, the window lists the media files instead, and a copy
  // of one is exact; the guide-file box is remembered (the others are not), and a file without a
  // record gets no guide file.
  Restart();
  s->SetOption(session::OptionBox::Unlisted, true);
  s->SetOption(session::OptionBox::Nfo, true);
  s->SetOption(session::OptionBox::Rescue, true);
  ReadList(design);
  EXPECT_TRUE(view.messages.empty() && view.endings.empty());
  EXPECT_EQ(StatusLine(),
            "_RECORD_LIST_ was not found. The media files on the disk are listed as "
            "NNN_unlisted.ts, without titles or times.");
  ASSERT_EQ(view.rows.size(), 4u);
  EXPECT_EQ(view.rows[0].name, "003_unlisted.ts");
  s->TickRow(0, true);
  ASSERT_TRUE(CopyNow());
  EXPECT_EQ(DestFiles(), std::vector<std::string>{"003_unlisted.ts"});
  EXPECT_EQ(DestFile("003_unlisted.ts"), Expected(31, 780048));
  Open();
  EXPECT_TRUE(view.screen.nfoBox.checked);
  EXPECT_FALSE(view.screen.unlistedBox.checked || view.screen.rescueBox.checked);
}

// The disks attached are found off the window's thread, the recorder's marked first on its line;
// choosing one fills the drive box; a disk without recordings says so.
TEST_F(SessionTest, TheDiskFinderFillsTheDriveBoxAndAnEmptyDiskSaysSo) {
  mk::ImageDesign empty;
  empty.imageSize = 64 << 20;  // room for the data area, and no recording in it
  const std::string disk = Image(empty);
  s->SeamsInUse().findDisks = [&disk] {
    return std::vector<DiskCandidate>{{"/dev/sda", "SYSTEM DISK", 500107862016, false, "", true},
                                      {disk, "", 0, true, "", false},
                                      {"/dev/sdc", "", 0, false, "no rights to read it", false}};
  };
  ASSERT_TRUE(view.Await(Work::FindDisks, [&] {
    s->FindDisks();
    ASSERT_EQ(view.disks.size(), 1u);
    EXPECT_EQ(view.disks[0].text, "Looking for disks...");
    EXPECT_TRUE(view.disks[0].path.empty());
  }));
  ASSERT_EQ(view.disks.size(), 3u);
  EXPECT_EQ(view.disks[0].text, "/dev/sda  SYSTEM DISK  500.1 GB  (the system disk)");
  EXPECT_EQ(view.disks[1].text, "9200T disk \u2014 " + disk);
  EXPECT_TRUE(view.disks[1].recorderDisk && !view.disks[0].recorderDisk);
  EXPECT_EQ(view.disks[2].text, "/dev/sdc  (no rights to read it)");
  s->ChooseDisk(1);
  EXPECT_EQ(view.screen.driveText, disk);
  EXPECT_EQ(view.screen.driveTip, disk);

  Choose(dest.path());
  ASSERT_TRUE(view.Await(Work::ReadList, [&] { s->ReadList(); }));
  EXPECT_TRUE(view.rows.empty());
  EXPECT_EQ(StatusLine(),
            "Check the items required for transfer. No recordings were found on this disk.");
  s->SeamsInUse().findDisks = [] { return std::vector<DiskCandidate>{}; };
  ASSERT_TRUE(view.Await(Work::FindDisks, [&] { s->FindDisks(); }));
  EXPECT_EQ(view.disks[0].text, "No disks found");
  s->ChooseDisk(0);  // there is none, and the drive is fixed once read
  EXPECT_EQ(view.screen.driveText, disk);
}

// While a read of the disk waits, the status line says so from two seconds on, counting, and
// goes back to its words when the read returns; the window itself never waits.
TEST_F(SessionTest, AReadThatWaitsIsSaidAndTheWordsComeBackAfterIt) {
  ReadList(FourRecordings());
  // A copy whose first read blocks: the wait, counted as the clock goes on, then back.
  auto hold = std::make_shared<std::atomic<bool>>(true);
  s->SeamsInUse().openDisk = [hold](const std::string& path, std::unique_ptr<DiskReader>& disk) {
    class Held : public DiskReader {
     public:
      Held(std::unique_ptr<DiskReader> real, std::shared_ptr<std::atomic<bool>> hold)
          : real_(std::move(real)), hold_(std::move(hold)) {}
      int64_t ReadAt(int64_t offset, uint8_t* into, int64_t count, std::string& error) override {
        while (*hold_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return real_->ReadAt(offset, into, count, error);
      }
      int64_t SizeBytes() const override { return real_->SizeBytes(); }

     private:
      std::unique_ptr<DiskReader> real_;
      std::shared_ptr<std::atomic<bool>> hold_;
    };
    std::unique_ptr<DiskReader> real;
    Status opened = OpenRawDisk(path, real);
    if (opened.ok()) disk = std::make_unique<Held>(std::move(real), hold);
    return opened;
  };
  s->TickRow(0, true);
  s->Copy();
  const auto started = session::Session::Clock::now();
  s->Tick(started + std::chrono::seconds(1));
  EXPECT_EQ(StatusLine().rfind("Start time: 12:00:00 Bytes: 780048", 0), 0u) << StatusLine();
  EXPECT_EQ(view.screen.taskbar.state, session::TaskbarState::Normal);
  ASSERT_TRUE(view.RunUntil([&] {
    s->Tick(session::Session::Clock::now() + std::chrono::seconds(12));
    return StatusLine().rfind("Waiting for the disk (1", 0) == 0;
  }));
  EXPECT_NE(StatusLine().find(" s). A failing disk can take a minute over one bad sector."),
            std::string::npos);
  EXPECT_EQ(view.screen.taskbar.state, session::TaskbarState::Paused);
  // Stop while the read waits: the wait is said with the stop, and Stop is off.
  s->Stop();
  s->Tick(session::Session::Clock::now() + std::chrono::seconds(12));
  EXPECT_TRUE(StatusLine().ends_with(" The copy stops once this read returns.")) << StatusLine();
  EXPECT_TRUE(view.screen.stopButton.visible && !view.screen.stopButton.enabled);
  *hold = false;
  ASSERT_TRUE(view.RunUntil([&] { return view.ended[Work::Copy] == 1; }));
  s->Tick();
  EXPECT_EQ(StatusLine(),
            "Stopped - End time: 12:00:00. 0 copied; the rows not reached are still ticked.");
  EXPECT_EQ(view.screen.taskbar.state, session::TaskbarState::None);
}

TEST(HomeFolder, FilesStayBesideTheProgramOnlyForAPortableCopy) {
  TempDir program, config, user;
  const std::string configFolder = config.file("skelbrook");
  // An installed program's folder is never its home, writable or not (root's /usr/bin).
  EXPECT_EQ(session::HomeFolder(program.path(), "", configFolder), configFolder);
  EXPECT_TRUE(std::filesystem::is_directory(PathFromUtf8(configFolder)));
  EXPECT_EQ(session::HomeFolder(program.path(), config.path(), configFolder), configFolder);
  // Run where it was built, or with a "portable" file beside it, it keeps its files there.
  const std::string built = program.file("src");
  std::filesystem::create_directories(PathFromUtf8(built));
  EXPECT_EQ(session::HomeFolder(built, program.path(), configFolder), built);
  WriteText(program.file("portable"), "");
  EXPECT_EQ(session::HomeFolder(program.path(), "", configFolder), program.path());

  // Copies go to the Videos folder, or the home folder where there is none; a portable copy
  // keeps its own folder.
  const std::string videos = user.file("Videos");
  EXPECT_EQ(session::FirstDestination(config.path(), config.path(), videos, user.path()),
            user.path());
  std::filesystem::create_directories(PathFromUtf8(videos));
  EXPECT_EQ(session::FirstDestination(config.path(), config.path(), videos, user.path()), videos);
  EXPECT_EQ(session::FirstDestination(program.path(), config.path(), videos, user.path()),
            program.path());
}

}  // namespace
}  // namespace skelbrook::test
