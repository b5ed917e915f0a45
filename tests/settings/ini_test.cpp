// The settings file routines on real files in a temporary folder.
#include "settings/ini.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "device/file_system.h"

namespace skelbrook {
namespace {

namespace fs = std::filesystem;

const std::string kSection = "9200T";
const std::string kSaveTo = "Save to";
const std::string kDrive = "Physical drive";

class IniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::temp_directory_path() / ("skelbrook-ini-" + std::string(info->name()) + "-" +
                                           std::to_string(std::random_device{}()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    path_ = Utf8FromPath(folder_ / "9200T_sk.ini");
  }

  void TearDown() override {
    std::error_code ec;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(folder_, ec);
  }

  void Put(const std::string& bytes) {
    std::ofstream out(PathFromUtf8(path_), std::ios::binary | std::ios::trunc);
    out << bytes;
  }

  std::string Contents() const {
    std::ifstream in(PathFromUtf8(path_), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

  void Write(const std::string& key, const std::string& value) {
    const Status status = INIwrite(path_, kSection, key, value);
    ASSERT_TRUE(status.ok()) << status.message();
  }

  fs::path folder_;
  std::string path_;
};

TEST_F(IniTest, FirstWritesCreateTheFileWithTheLaterKeyFirst) {
  EXPECT_EQ(INIread(path_, kSection, kSaveTo), "");
  Write(kSaveTo, "C:\\X\\");
  Write(kDrive, "2");
  EXPECT_EQ(Contents(), "[9200T]\r\nPhysical drive=2\r\nSave to=C:\\X\\\r\n");
  EXPECT_EQ(INIread(path_, kSection, kSaveTo), "C:\\X\\");
  EXPECT_EQ(INIread(path_, kSection, kDrive), "2");
}

TEST_F(IniTest, ReplacingAKeyKeepsEveryOtherLine) {
  Put("; kept\r\n[Other]\r\nSave to=elsewhere\r\n\r\n[9200T]\r\nSave to=C:\\Old\\\r\n"
      "Physical drive=2\r\nNote = two  blanks \r\n\r\n[Last]\r\nPhysical drive=9\r\n");
  Write(kSaveTo, "E:\\New\\");
  EXPECT_EQ(Contents(),
            "; kept\r\n[Other]\r\nSave to=elsewhere\r\n\r\n[9200T]\r\nSave to=E:\\New\\\r\n"
            "Physical drive=2\r\nNote = two  blanks \r\n\r\n[Last]\r\nPhysical drive=9\r\n");
  EXPECT_EQ(INIread(path_, "Other", kSaveTo), "elsewhere");
  EXPECT_EQ(INIread(path_, "Last", kDrive), "9");

  // A key found only in a later section is missing here: it becomes this section's first line.
  Put("[9200T]\r\nSave to=C:\\\r\n[Last]\r\nPhysical drive=9\r\n");
  Write(kDrive, "4");
  EXPECT_EQ(Contents(),
            "[9200T]\r\nPhysical drive=4\r\nSave to=C:\\\r\n[Last]\r\nPhysical drive=9\r\n");

  // Hand-edited: the key on the last line with no line end is replaced to the end.
  Put("[9200T]\r\nPhysical drive=1\r\nSave to=C:\\Old\\");
  Write(kSaveTo, "D:\\");
  EXPECT_EQ(Contents(), "[9200T]\r\nPhysical drive=1\r\nSave to=D:\\\r\n");

  // Well past 32,767 bytes: positions are not limited.
  std::string big = "[Filler]\r\n";
  for (int i = 0; i < 4000; ++i) big += "Line" + std::to_string(i) + "=some text\r\n";
  Put(big + "[9200T]\r\nSave to=C:\\\r\n");
  Write(kSaveTo, "F:\\");
  EXPECT_EQ(Contents(), big + "[9200T]\r\nSave to=F:\\\r\n");
  EXPECT_EQ(INIread(path_, kSection, kSaveTo), "F:\\");
}

TEST_F(IniTest, NamesMatchWithoutCaseAndTakeTheCallersForm) {
  Put("[9200t]\r\nSAVE TO=D:\\Vid\xc3\xa9o\\Mixed\\\r\nphysical drive=3\r\n");
  EXPECT_EQ(INIread(path_, "9200T", "save to"), "D:\\Vid\xc3\xa9o\\Mixed\\");
  EXPECT_EQ(INIread(path_, "9200t", "PHYSICAL DRIVE"), "3");

  Write(kDrive, "5");
  Write(kSaveTo, "D:\\Vid\xc3\xa9o\\Mixed\\");
  EXPECT_EQ(Contents(), "[9200t]\r\nSave to=D:\\Vid\xc3\xa9o\\Mixed\\\r\nPhysical drive=5\r\n");

  // Blanks before the name or the "=" make a different name.
  Put("[9200T]\r\n Save to=A\r\nSave to =B\r\n");
  EXPECT_EQ(INIread(path_, kSection, kSaveTo), "");
}

TEST_F(IniTest, WritingShrinksBlankRunsAndTrimsBothEnds) {
  Put("\r\n\r\n[9200T]\r\n\r\n\r\n\r\nSave to=C:\\\r\n\r\n\r\n\r\n[Other]\r\nA=1\r\n\r\n\r\n");
  Write(kDrive, "2");
  EXPECT_EQ(Contents(),
            "[9200T]\r\nPhysical drive=2\r\n\r\nSave to=C:\\\r\n\r\n[Other]\r\nA=1\r\n");
}

TEST_F(IniTest, HeaderWithTrailingBlanksIsNotTheSection) {
  Put("[9200T]  \r\nSave to=C:\\\r\n");
  EXPECT_EQ(INIread(path_, kSection, kSaveTo), "");
  Write(kSaveTo, "D:\\");
  EXPECT_EQ(Contents(), "[9200T]  \r\nSave to=C:\\\r\n\r\n[9200T]\r\nSave to=D:\\\r\n");
  EXPECT_EQ(INIread(path_, kSection, kSaveTo), "D:\\");

  // A section is only found by its own header, and a missing one is added in the caller's case.
  EXPECT_EQ(INIread(path_, "Other", kSaveTo), "");
  ASSERT_TRUE(INIwrite(path_, "NewOne", "Key", "v").ok());
  EXPECT_EQ(INIread(path_, "newone", "key"), "v");
}

TEST_F(IniTest, BracketInAValueIsNotASectionStart) {
  const std::string folder = "D:\\TV [old]\\";
  Write(kSaveTo, folder);
  Write(kDrive, "3");
  EXPECT_EQ(Contents(), "[9200T]\r\nPhysical drive=3\r\nSave to=D:\\TV [old]\\\r\n");
  EXPECT_EQ(INIread(path_, kSection, kSaveTo), folder);

  // Keys after the bracketed value are still in the section, for reading and for writing.
  Put("[9200T]\r\nSave to=/home/u/TV [old]/\r\nPhysical drive=1\r\n[Other]\r\nB=[x]\r\n");
  EXPECT_EQ(INIread(path_, kSection, kDrive), "1");
  Write(kDrive, "7");
  Write(kSaveTo, "/home/u/TV [new]/");
  EXPECT_EQ(Contents(),
            "[9200T]\r\nSave to=/home/u/TV [new]/\r\nPhysical drive=7\r\n[Other]\r\nB=[x]\r\n");
  EXPECT_EQ(INIread(path_, "Other", "B"), "[x]");
}

TEST_F(IniTest, LinesEndingInLfOrCrAloneAreReadAndUpdatedInPlace) {
  Put("[9200T]\nSave to=/srv/tv/\nPhysical drive=1\n");
  EXPECT_EQ(INIread(path_, kSection, kSaveTo), "/srv/tv/");
  EXPECT_EQ(INIread(path_, kSection, kDrive), "1");
  Write(kDrive, "2");
  EXPECT_EQ(Contents(), "[9200T]\r\nSave to=/srv/tv/\r\nPhysical drive=2\r\n");

  Put("[9200T]\rSave to=/srv/tv/\r");
  EXPECT_EQ(INIread(path_, kSection, kSaveTo), "/srv/tv/");
  Write(kDrive, "3");
  EXPECT_EQ(Contents(), "[9200T]\r\nPhysical drive=3\r\nSave to=/srv/tv/\r\n");
}

TEST_F(IniTest, ReadOnlySettingsFileIsMadeWritableAndUpdated) {
  Put("[9200T]\r\nSave to=C:\\\r\n");
  fs::permissions(PathFromUtf8(path_), fs::perms::owner_read);
  Write(kSaveTo, "D:\\");
  EXPECT_NE(fs::status(PathFromUtf8(path_)).permissions() & fs::perms::owner_write,
            fs::perms::none);
  EXPECT_EQ(INIread(path_, kSection, kSaveTo), "D:\\");
}

TEST_F(IniTest, UnwritableLocationGivesAnError) {
  Put("");
  // A folder that cannot exist: its parent is an ordinary file.
  const std::string blocked = path_ + "/9200T_sk.ini";
  const Status status = INIwrite(blocked, kSection, kSaveTo, "C:\\");
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(status.message().rfind("cannot write the settings file " + blocked + ": ", 0), 0u)
      << status.message();
  EXPECT_EQ(INIread(blocked, kSection, kSaveTo), "");

  // A read-only folder, where the account is not allowed to override it.
  const fs::path locked = folder_ / "locked";
  fs::create_directory(locked);
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
  if (std::ofstream(locked / "probe")) {
    GTEST_SKIP() << "this account can write into read-only folders";
  }
  const std::string inLocked = Utf8FromPath(locked / "9200T_sk.ini");
  const Status lockedStatus = INIwrite(inLocked, kSection, kSaveTo, "C:\\");
  EXPECT_FALSE(lockedStatus.ok());
  EXPECT_NE(lockedStatus.message().find("cannot write the settings file"), std::string::npos);
}

}  // namespace
}  // namespace skelbrook
