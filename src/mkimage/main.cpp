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
  std::string specFile;
  bool demo = false;
  app.add_option("IMAGE", output, "the image file to write (must not exist)")->required();
  auto* demoFlag = app.add_flag("--demo", demo, "write the demo disk");
  app.add_option("--spec", specFile, "write the disk described in this JSON file")->excludes(demoFlag);
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", SKELBROOK_VERSION);
  CLI11_PARSE(app, argc, argv);

  skelbrook::mkimage::ImageSpec spec;
  if (!specFile.empty()) {
    std::ifstream in(specFile, std::ios::binary);
    if (!in) {
      std::cerr << "cannot read " << specFile << "\n";
      return 2;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    const auto parsed = skelbrook::mkimage::SpecFromJson(text.str(), error);
    if (!parsed) {
      std::cerr << specFile << ": " << error << "\n";
      return 2;
    }
    spec = *parsed;
  } else if (demo) {
    spec = skelbrook::mkimage::DemoImageSpec();
  } else {
    std::cerr << "say --demo or --spec FILE\n";
    return 2;
  }
  const skelbrook::Status written = skelbrook::mkimage::WriteImage(spec, output);
  if (!written.ok()) {
    std::cerr << written.message() << "\n";
    return 1;
  }
  return 0;
}
