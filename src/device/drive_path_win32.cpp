// Drive numbers on Windows: the physical drives the system numbers from 0.
#include <string>

#include "device/drive.h"

namespace skelbrook {

std::string DriveNumberPath(unsigned long number) {
  return "\\\\.\\PhysicalDrive" + std::to_string(number);
}

const char* DriveBoxLabel() {
  return "\\\\.\\PhysicalDrive";
}

std::string DriveBoxText(const std::string& devicePath) {
  const std::string label = DriveBoxLabel();
  return devicePath.rfind(label, 0) == 0 ? devicePath.substr(label.size()) : devicePath;
}

}  // namespace skelbrook
