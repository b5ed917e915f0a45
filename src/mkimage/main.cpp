// skelbrook-mkimage: writes a disk image in the recorder's format, the demo disk or one described
// in a JSON file.
#include <CLI/CLI.hpp>
#include <fstream>
#include <iostream>
#include <sstream>

#include "mkimage/image_writer.h"

int main(int argc, char** argv) {
  CLI::App app{"Writes a disk image in the 9200T recorder's format."};
  std::string output;
  std::string designFile;
  bool demo = false;
  app.add_option("IMAGE", output, "the image file to write (must not exist)")->required();
  auto* demoFlag = app.add_flag("--demo", demo, "write the demo disk");
  app.add_option("--from", designFile, "write the disk described in this JSON file")
      ->excludes(demoFlag);
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", SKELBROOK_VERSION);
  CLI11_PARSE(app, argc, argv);

  skelbrook::mkimage::ImageDesign design;
  if (!designFile.empty()) {
    std::ifstream in(designFile, std::ios::binary);
    if (!in) {
      std::cerr << "cannot read " << designFile << "\n";
      return 2;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    const auto parsed = skelbrook::mkimage::DesignFromJson(text.str(), error);
    if (!parsed) {
      std::cerr << designFile << ": " << error << "\n";
      return 2;
    }
    design = *parsed;
  } else if (demo) {
    design = skelbrook::mkimage::DemoImageDesign();
  } else {
    std::cerr << "say --demo or --from FILE\n";
    return 2;
  }
  const skelbrook::Status written = skelbrook::mkimage::WriteImage(design, output);
  if (!written.ok()) {
    std::cerr << written.message() << "\n";
    return 1;
  }
  return 0;
}
