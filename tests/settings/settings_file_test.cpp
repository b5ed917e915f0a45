// The settings file routines on real files in a temporary folder.
#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "device/file_system.h"
#include "support/test_support.h"

namespace skelbrook {
namespace {

const std::string kSaveTo = "Save to";
const std::string kDrive = "Physical drive";

void Put(const std::string& path, const std::string& bytes) {
  std::ofstream(PathFromUtf8(path), std::ios::binary | std::ios::trunc) << bytes;
}

std::string Contents(const std::string& path) {
  const std::vector<uint8_t> bytes = test::ReadWholeFile(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(Ini, WritingRewritesOnlyItsOwnLineAndReadingFindsOnlyItsOwnSection) {
  test::TempDir dir;
  const std::string path = dir.file("9200T_sk.ini");
  EXPECT_EQ(ReadSetting(path, "9200T", kSaveTo), "");
  ASSERT_TRUE(WriteSetting(path, "9200T", kSaveTo, "C:\\X\\").ok());
  ASSERT_TRUE(WriteSetting(path, "9200T", kDrive, "2").ok());
  EXPECT_EQ(Contents(path), "[9200T]\r\nPhysical drive=2\r\nSave to=C:\\X\\\r\n");

  std::string big = "[Filler]\r\n";  // well past 32,767 bytes: positions are not limited
  for (int i = 0; i < 4000; ++i) big += "Line" + std::to_string(i) + "=some text\r\n";
  struct Case {
    std::string before;
    const std::string& key;
    std::string value, after;
  };
  const Case cases[] = {
      {"; kept\r\n[Other]\r\nSave to=elsewhere\r\n\r\n[9200T]\r\nSave to=C:\\Old\\\r\n"
       "Physical drive=2\r\nNote = two  blanks \r\n\r\n[Last]\r\nPhysical drive=9\r\n",
       kSaveTo, "E:\\New\\",
       "; kept\r\n[Other]\r\nSave to=elsewhere\r\n\r\n[9200T]\r\nSave to=E:\\New\\\r\n"
       "Physical drive=2\r\nNote = two  blanks \r\n\r\n[Last]\r\nPhysical drive=9\r\n"},
      // A key found only in a later section is missing here: it becomes this section's first line.
      {"[9200T]\r\nSave to=C:\\\r\n[Last]\r\nPhysical drive=9\r\n", kDrive, "4",
       "[9200T]\r\nPhysical drive=4\r\nSave to=C:\\\r\n[Last]\r\nPhysical drive=9\r\n"},
      // Hand-edited: the key on the last line, with no line end.
      {"[9200T]\r\nPhysical drive=1\r\nSave to=C:\\Old\\", kSaveTo, "D:\\",
       "[9200T]\r\nPhysical drive=1\r\nSave to=D:\\\r\n"},
      {big + "[9200T]\r\nSave to=C:\\\r\n", kSaveTo, "F:\\", big + "[9200T]\r\nSave to=F:\\\r\n"},
      // Names match without case; the key takes the caller's form.
      {"[9200t]\r\nSAVE TO=D:\\Vid\xc3\xa9o\\\r\nphysical drive=3\r\n", kDrive, "5",
       "[9200t]\r\nSAVE TO=D:\\Vid\xc3\xa9o\\\r\nPhysical drive=5\r\n"},
      {"\r\n\r\n[9200T]\r\n\r\n\r\n\r\nSave to=C:\\\r\n\r\n\r\n\r\n[Other]\r\nA=1\r\n\r\n\r\n",
       kDrive, "2", "[9200T]\r\nPhysical drive=2\r\n\r\nSave to=C:\\\r\n\r\n[Other]\r\nA=1\r\n"},
      // A header with trailing blanks is not the section.
      {"[9200T]  \r\nSave to=C:\\\r\n", kSaveTo, "D:\\",
       "[9200T]  \r\nSave to=C:\\\r\n\r\n[9200T]\r\nSave to=D:\\\r\n"},
      // A "[" inside a value starts no section: the keys after it are still in this one.
      {"[9200T]\r\nSave to=/home/u/TV [old]/\r\nPhysical drive=1\r\n[Other]\r\nB=[x]\r\n", kDrive,
       "7", "[9200T]\r\nSave to=/home/u/TV [old]/\r\nPhysical drive=7\r\n[Other]\r\nB=[x]\r\n"},
      {"[9200T]\r\nPhysical drive=3\r\n", kSaveTo, "D:\\TV [old]\\",
       "[9200T]\r\nSave to=D:\\TV [old]\\\r\nPhysical drive=3\r\n"},
      // Lines ending in LF or CR alone are updated in place and end in CR LF afterwards.
      {"[9200T]\nSave to=/srv/tv/\nPhysical drive=1\n", kDrive, "2",
       "[9200T]\r\nSave to=/srv/tv/\r\nPhysical drive=2\r\n"},
      {"[9200T]\rSave to=/srv/tv/\r", kDrive, "3",
       "[9200T]\r\nPhysical drive=3\r\nSave to=/srv/tv/\r\n"},
  };
  for (const Case& c : cases) {
    Put(path, c.before);
    ASSERT_TRUE(WriteSetting(path, "9200T", c.key, c.value).ok());
    EXPECT_EQ(Contents(path), c.after);
    EXPECT_EQ(ReadSetting(path, "9200T", c.key), c.value);
  }

  // Reading finds a key only in its own section, by its exact name.
  struct Read {
    std::string text, key, value;
  };
  const Read reads[] = {
      {"[9200t]\r\nSAVE TO=D:\\Vid\xc3\xa9o\\Mixed\\\r\n", "save to", "D:\\Vid\xc3\xa9o\\Mixed\\"},
      {"[Other]\r\nSave to=elsewhere\r\n[9200T]\r\nSave to=C:\\\r\n", kSaveTo, "C:\\"},
      {"[9200T]\r\nA=1\r\n[Other]\r\nSave to=elsewhere\r\n", kSaveTo, ""},
      {"[9200T]\r\n Save to=A\r\nSave to =B\r\n", kSaveTo, ""},  // blanks make other names
      {"[9200T]\nSave to=/srv/tv/\nPhysical drive=1\n", kDrive, "1"},
      {"[9200T]\rSave to=/srv/tv/\r", kSaveTo, "/srv/tv/"},
  };
  for (const Read& c : reads) {
    Put(path, c.text);
    EXPECT_EQ(ReadSetting(path, "9200T", c.key), c.value) << c.text;
  }
}

TEST(Ini, ReadOnlyFileIsMadeWritableAndAnUnwritableOneGivesAnError) {
  test::TempDir dir;
  const std::string path = dir.file("9200T_sk.ini");
  Put(path, "[9200T]\r\nSave to=C:\\\r\n");
  std::filesystem::permissions(PathFromUtf8(path), std::filesystem::perms::owner_read);
  ASSERT_TRUE(WriteSetting(path, "9200T", kSaveTo, "D:\\").ok());
  const auto mode = std::filesystem::status(PathFromUtf8(path)).permissions();
  EXPECT_NE(mode & std::filesystem::perms::owner_write, std::filesystem::perms::none);
  EXPECT_EQ(ReadSetting(path, "9200T", kSaveTo), "D:\\");

  // The new text replaces the file whole, never rewriting it in place where a crash or a full
  // disk could cut it short: a second name of the old file still holds the old text afterwards,
  // and nothing is left beside it.
  std::error_code linked;
  std::filesystem::create_hard_link(PathFromUtf8(path), PathFromUtf8(dir.file("old.ini")), linked);
  ASSERT_TRUE(WriteSetting(path, "9200T", kDrive, "3").ok());
  if (!linked) {
    EXPECT_EQ(Contents(dir.file("old.ini")), "[9200T]\r\nSave to=D:\\\r\n");
  }
  EXPECT_EQ(Contents(path), "[9200T]\r\nPhysical drive=3\r\nSave to=D:\\\r\n");
  EXPECT_FALSE(std::filesystem::exists(PathFromUtf8(path + ".new")));

  // A folder that cannot exist: its parent is an ordinary file.
  const std::string blocked = path + "/9200T_sk.ini";
  const Status status = WriteSetting(blocked, "9200T", kSaveTo, "C:\\");
  EXPECT_EQ(status.message().rfind("cannot write the settings file " + blocked + ": ", 0), 0u)
      << status.message();
}

}  // namespace
}  // namespace skelbrook
