// The session on a fresh home folder, with a destination folder and disk images beside it and
// the user's answers given by the test; the disks are written by the image writer and read
// through the real device layer, on the session's own threads.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <thread>

#include "mkimage/image_writer.h"
#include "session/fake_view.h"
#include "session/session.h"
#include "support/failing_disk.h"
#include "support/test_support.h"

namespace skelbrook::test {

namespace mk = mkimage;
using session::Phase;
using session::Work;

inline const std::string kNameA = "003_073005Mar_Morning Show.ts";
inline const std::string kNameB = "011_210521Nov_Film_ Night Train.ts";
inline const std::string kNameC = "007_233005Mar_Late News.ts";

// Four recordings, listed in record order (not slot order): 07:30 on 5 March, 21:05 on
// 21 November, 23:30 on 5 March, and one above 4 GB that is never copied (only the size in the
// media directory counts for the totals, so its chain is one cluster). The other sizes leave
// tails of more than 1,024 bytes after their last whole cluster, so the copies hold every byte.
mk::ImageDesign FourRecordings();

class SessionTest : public ::testing::Test {
 protected:
  SessionTest() { Open(); }
  // A destination with room for everything, unless a test says otherwise.
  static constexpr int64_t kPlentyFree = 500'000'000'000;
  void Open(session::Seams seams = {}) {
    seams.queryVolume = [](const std::string&) { return VolumeInfo{"ext4", kPlentyFree, -1, -1}; };
    s.reset();
    s = std::make_unique<session::Session>(view, session::Places{home.path(), ""},
                                           std::move(seams));
    s->SeamsInUse().timeOfDay = [] { return std::string("12:00:00"); };
  }

  // A new window: the session again, on the same home folder.
  void Restart() {
    s.reset();
    view.Reset();
    Open();
  }
  // Writes the design as a disk image of its own and returns its path.
  std::string Image(const mk::ImageDesign& design) {
    return WriteTestImage(disks, design, "disk" + std::to_string(++images_) + ".img");
  }
  void Choose(const std::string& folder) {
    view.folderAnswer = folder;
    s->ChooseDestination();
  }
  // Reads the list from `drive`, with `folder` chosen as the destination, as the user does, and
  // waits until the read has ended.
  void Read(const std::string& drive, const std::string& folder) {
    Choose(folder);
    s->SetDriveText(drive);
    ASSERT_TRUE(view.Await(Work::ReadList, [this] { s->ReadList(); }));
  }
  void ReadList(const mk::ImageDesign& design) { Read(Image(design), dest.path()); }
  // Copies the ticked rows and waits until the batch and everything after it (the destination
  // described anew) have ended.
  bool CopyNow() {
    const int described = view.ended[Work::DescribeDestination];
    return view.Await(Work::Copy, [this] { s->Copy(); }) &&
           view.RunUntil([&] { return view.ended[Work::DescribeDestination] > described; });
  }
  // The list read, then the disk slowed: rows 1 and 2 ticked, the first long enough to be
  // stopped or left in the middle of its copy.
  void ReadSlowLongCopy() {
    mk::ImageDesign design = FourRecordings();
    design.recordings[0].size = 12 * 780048;
    ReadList(design);
    s->SeamsInUse().openDisk = Slow(std::chrono::milliseconds(200));
    s->TickRow(0, true);
    s->TickRow(1, true);
  }
  // The status line.
  const std::string& StatusLine() const { return view.screen.status; }
  // The status line's words for a selection, with the room at the destination.
  std::string Selected(const std::string& words) const {
    return words + " 500.0 GB free on " + dest.folder();
  }
  // Every row's tick ("x" or "-") and icon key as the view shows them, e.g. "x failed, - default".
  std::string Marks() const;
  // The names of the files in the destination folder, sorted.
  std::vector<std::string> DestFiles() const;
  std::vector<uint8_t> DestFile(const std::string& name) const {
    return ReadWholeFile(dest.file(name));
  }
  std::vector<uint8_t> Expected(uint32_t seed, int64_t length) const {
    return mk::RecordingBytes(seed, 0, length);
  }

  TempDir home, dest, disks;
  FakeView view;
  std::unique_ptr<session::Session> s;

 private:
  int images_ = 0;
};

}  // namespace skelbrook::test
